#pragma once

// Qt hands data from one thread to another through its event queue, inside libraries that ThreadSanitizer
// cannot see into, so it would take such a hand-over for a race. These two calls name the hand-over where
// our own code makes one: handOver() on the side that has written the data, before Qt passes it on, and
// takeOver() on the side that reads it afterwards. Outside ThreadSanitizer builds they are nothing.

#if defined(__SANITIZE_THREAD__)
#define TESSARAY_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARAY_TSAN 1
#endif
#endif

#ifdef TESSARAY_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
inline void handOver(const void* data)
{
    __tsan_release(const_cast<void*>(data));
}
inline void takeOver(const void* data)
{
    __tsan_acquire(const_cast<void*>(data));
}
#else
inline void handOver(const void*) {}
inline void takeOver(const void*) {}
#endif
