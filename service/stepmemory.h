#pragma once

#include <cstddef>
#include <new>

// Memory for one step posted to the network thread, made in advance where an allocation that fails can be handled: the
// step, posted later where it could not, takes this memory instead of its own, so that posting it cannot fail for
// want of memory. Every step given it fits, as the build checks; one at a time: a second before the first has run
// takes memory of its own.
class StepMemory
{
public:
    // For the step's executor to take the memory with.
    template <typename T> class Allocator
    {
    public:
        using value_type = T;

        explicit Allocator(StepMemory& memory) noexcept : m_memory(&memory) {}
        template <typename U> Allocator(const Allocator<U>& other) noexcept : m_memory(other.m_memory) {}

        T* allocate(std::size_t count)
        {
            static_assert(sizeof(T) <= room && alignof(T) <= alignof(std::max_align_t),
                          "a step given StepMemory fits in it, or posting it would want memory of its own");
            return static_cast<T*>(m_memory->take(count * sizeof(T)));
        }
        void deallocate(T* pointer, std::size_t count) noexcept { m_memory->giveBack(pointer, count * sizeof(T)); }
        template <typename U> bool operator==(const Allocator<U>& other) const noexcept
        {
            return m_memory == other.m_memory;
        }
        template <typename U> bool operator!=(const Allocator<U>& other) const noexcept
        {
            return m_memory != other.m_memory;
        }

    private:
        template <typename> friend class Allocator;
        StepMemory* m_memory;
    };

    Allocator<void> allocator() noexcept { return Allocator<void>(*this); }

private:
    void* take(std::size_t size)
    {
        if (m_taken || size > room)
            return ::operator new(size);
        m_taken = true;
        return m_bytes;
    }
    void giveBack(void* pointer, std::size_t size) noexcept
    {
        if (pointer == m_bytes)
            m_taken = false;
        else
            ::operator delete(pointer, size);
    }

    // Room for the step that hands a worker's answer back, with its answer: under 200 bytes.
    static constexpr std::size_t room = 256;

    alignas(std::max_align_t) unsigned char m_bytes[room];
    bool m_taken = false;
};
