#include "DecodePool.h"

#include "MediaSource.h"

#include <algorithm>
#include <chrono>

namespace sorvane::engine {

namespace {
// How often an idle worker looks again: the readers move their cursors without waking it.
// Four seconds are decoded ahead of every reader, and a jump elsewhere (a seek, a new start
// marker, a new file) wakes the workers at once, so the look need not come often.
constexpr auto kIdlePoll = std::chrono::milliseconds(250);
} // namespace

DecodePool::DecodePool(int threads) {
    for (int i = 0; i < std::max(1, threads); ++i)
        threads_.emplace_back([this] { run(); });
}

DecodePool::~DecodePool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        for (const auto& source : sources_)
            source->abandon();
    }
    cv_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void DecodePool::add(std::shared_ptr<MediaSource> source) {
    if (!source || source->isSilence()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sources_.push_back(std::move(source));
        ++wakes_;
    }
    cv_.notify_all();
}

void DecodePool::remove(const MediaSource* source) {
    std::lock_guard<std::mutex> lock(mutex_);
    sources_.erase(std::remove_if(sources_.begin(), sources_.end(),
                                  [&](const auto& s) {
                                      if (s.get() != source) return false;
                                      s->abandon(); // a worker busy with it lets go at once
                                      return true;
                                  }),
                   sources_.end());
}

void DecodePool::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++wakes_;
    }
    cv_.notify_all();
}

void DecodePool::run() {
    std::vector<std::shared_ptr<MediaSource>> snapshot;
    for (;;) {
        unsigned long long seen = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_) return;
            snapshot = sources_;
            seen = wakes_;
        }
        bool worked = false;
        // Urgent sources first, then the look-ahead of the others, one chunk at a time each.
        for (int level = 2; level >= 1; --level) {
            for (const auto& source : snapshot) {
                if (source->urgency() < level) continue;
                if (!source->tryClaim()) continue;
                worked |= source->work();
                source->release();
            }
            if (worked) break;
        }
        // Sources whose windows moved away get their chunks freed even when nothing is due.
        if (!worked)
            for (const auto& source : snapshot)
                if (source->tryClaim()) {
                    source->work();
                    source->release();
                }
        snapshot.clear(); // a removed source may end here, on this thread
        if (worked) continue;
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, kIdlePoll, [&] { return quit_ || wakes_ != seen; });
    }
}

} // namespace sorvane::engine
