#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <exception>
#include <memory>
#include <string>
#include <utility>

// What every part of a connection asks of the connection it works for, whatever its role: that its steps run as the
// connection's own, and the client's address for the log. A step keeps the connection until it has run, and one that
// throws, a failed allocation above all, closes that connection alone, with a warning, as a request whose work throws
// fails alone.
class ConnectionSteps
{
public:
    // The step as the network thread runs it.
    template <typename Step> auto guarded(Step step)
    {
        return [kept = keep(), this, step = std::move(step)](auto&&... arguments) mutable {
            try {
                step(std::forward<decltype(arguments)>(arguments)...);
            } catch (...) {
                failed(std::current_exception());
            }
        };
    }
    // The step runs later on the network thread, in a step of its own, so that whatever it meets is this connection's
    // alone; when not even that step can be made, the connection fails now.
    template <typename Step> void later(boost::asio::io_context& network, Step step) noexcept
    {
        try {
            boost::asio::post(network, guarded(std::move(step)));
        } catch (...) {
            failed(std::current_exception());
        }
    }
    // A step failed, or could not even be made: the connection closes, and says so when it can.
    virtual void failed(const std::exception_ptr& thrown) noexcept = 0;
    // The client's address as the limits count it.
    virtual const std::string& client() const = 0;

protected:
    ~ConnectionSteps() = default;
    // What keeps the connection while a step of it waits to run.
    virtual std::shared_ptr<void> keep() = 0;
};
