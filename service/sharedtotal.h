#pragma once

#include <QString>

#include <atomic>

// A total that every process sharing a file keeps together: a number in the file, mapped into each, changed only by
// atomic operations, so that a bound on it holds for all of them. Any thread may use it once it is open.
class SharedTotal
{
public:
    SharedTotal() = default;
    ~SharedTotal();
    SharedTotal(const SharedTotal&) = delete;
    SharedTotal& operator=(const SharedTotal&) = delete;

    // Maps the file, made holding 0 when missing; false, with errno set, when it cannot be.
    bool open(const QString& path);
    // Adds the amount unless the total would pass `limit`.
    bool add(qint64 amount, qint64 limit);
    void subtract(qint64 amount);
    void reset();

private:
    std::atomic<qint64>* m_total = nullptr;
};
