#pragma once

// A bounded lock-free queue for one producer thread and one consumer thread. Push and pop
// never block and never allocate, so the audio thread may use either end.

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace sorvane::engine {

template <typename T, std::size_t Capacity> class SpscQueue {
    static_assert(std::is_trivially_copyable_v<T>, "queue items are copied as plain data");
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // False when the queue is full; the item is then not queued.
    bool push(const T& item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (head - tail == Capacity) return false;
        items_[head & (Capacity - 1)] = item;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // False when the queue is empty.
    bool pop(T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t head = head_.load(std::memory_order_acquire);
        if (tail == head) return false;
        item = items_[tail & (Capacity - 1)];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    bool empty() const {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

private:
    std::array<T, Capacity> items_{};
    alignas(64) std::atomic<std::size_t> head_{0}; // written by the producer
    alignas(64) std::atomic<std::size_t> tail_{0}; // written by the consumer
};

} // namespace sorvane::engine
