#include "clientaddress.h"

#include <boost/asio/ip/address_v6.hpp>
#include <boost/beast/core/string.hpp>

#include <algorithm>
#include <optional>

namespace {
namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::beast::string_view;

asio::ip::address plain(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

string_view trimmed(string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// An address as proxies write it: bare, quoted, in brackets, with or without a port.
std::optional<asio::ip::address> parsed(string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == string_view::npos)
            return std::nullopt;
        text = text.substr(1, close - 1);
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        text = text.substr(0, text.find(':'));
    }
    boost::system::error_code error;
    const asio::ip::address address = asio::ip::make_address(std::string(text), error);
    if (error)
        return std::nullopt;
    return address;
}

// The value of the for= parameter of a Forwarded element.
string_view forParameter(string_view element)
{
    while (!element.empty()) {
        const std::size_t end = std::min(element.find(';'), element.size());
        const string_view pair = trimmed(element.substr(0, end));
        if (pair.size() > 4 && boost::beast::iequals(pair.substr(0, 4), "for="))
            return pair.substr(4);
        element.remove_prefix(std::min(end + 1, element.size()));
    }
    return string_view();
}

// Hands the elements of a header's list to `visit`, right-most first, until it returns false. Repeated fields read as
// one list in their order, which the head keeps together; empty elements are none.
template <typename Visit> void rightToLeft(const http::fields& head, string_view name, Visit visit)
{
    for (auto [first, field] = head.equal_range(name); field != first;) {
        --field;
        for (string_view list = field->value(); !list.empty();) {
            const std::size_t comma = list.rfind(',');
            const string_view element = trimmed(comma == string_view::npos ? list : list.substr(comma + 1));
            list = list.substr(0, comma == string_view::npos ? 0 : comma);
            if (!element.empty() && !visit(element))
                return;
        }
    }
}
} // namespace

ClientAddress::ClientAddress(std::vector<asio::ip::address> trustedProxies) : m_trusted(std::move(trustedProxies))
{
    for (asio::ip::address& proxy : m_trusted)
        proxy = plain(proxy);
}

std::string ClientAddress::key(const asio::ip::address& address)
{
    const asio::ip::address own = plain(address);
    if (own.is_v4())
        return own.to_string();
    asio::ip::address_v6::bytes_type bytes = own.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::make_address_v6(bytes).to_string() + "/64";
}

bool ClientAddress::trusts(const asio::ip::address& peer) const
{
    return std::find(m_trusted.cbegin(), m_trusted.cend(), plain(peer)) != m_trusted.cend();
}

std::string ClientAddress::of(const asio::ip::address& peer, const http::fields& head) const
{
    if (!trusts(peer))
        return key(peer);
    const bool forwardedFor = head.find("X-Forwarded-For") != head.end();
    // Each trusted proxy vouches for the element to its left; the first that is no trusted proxy is the client. An
    // element that names no address stops the walk at the proxy that wrote it, as what lies left of it is unvouched.
    asio::ip::address named = peer;
    rightToLeft(head, forwardedFor ? "X-Forwarded-For" : "Forwarded", [&](string_view element) {
        const std::optional<asio::ip::address> address = parsed(forwardedFor ? element : forParameter(element));
        if (!address)
            return false;
        named = *address;
        return trusts(named);
    });
    return key(named);
}
