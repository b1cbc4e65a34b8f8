#pragma once

// The decode workers: a few threads that keep every open MediaSource decoded ahead of its
// reader. A source is worked on by one thread at a time; sources whose reader needs a
// chunk now come before those that are only filling their look-ahead.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sorvane::engine {

class MediaSource;

class DecodePool {
public:
    explicit DecodePool(int threads);
    ~DecodePool();
    DecodePool(const DecodePool&) = delete;
    DecodePool& operator=(const DecodePool&) = delete;

    void add(std::shared_ptr<MediaSource> source);
    void remove(const MediaSource* source);
    // Something changed that the workers should look at now (a seek, a new source).
    void wake();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::shared_ptr<MediaSource>> sources_;
    unsigned long long wakes_ = 0;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

} // namespace sorvane::engine
