#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <memory>

// A timer made the first time it is set. A connection's parts each keep one, and most connections never wait for
// room or a turn: tens of thousands of open connections carry a pointer each instead of a timer each.
class LazyTimer
{
public:
    explicit LazyTimer(boost::asio::io_context& context) : m_context(context) {}

    // The timer, made now if it was not.
    boost::asio::steady_timer& timer();
    // Ends a wait under way, if the timer was ever set.
    void cancel();
    // Where the timer's waits run, and its owner's other steps.
    boost::asio::io_context& context() { return m_context; }

private:
    boost::asio::io_context& m_context;
    std::unique_ptr<boost::asio::steady_timer> m_timer;
};
