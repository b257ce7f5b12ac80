#pragma once

#include <boost/asio/ip/address.hpp>
#include <boost/beast/http/fields.hpp>

#include <string>
#include <vector>

// Who a request comes from, as every per-address limit counts it. A connection from a trusted proxy speaks for the
// client the proxy named last: the last address of X-Forwarded-For, or of Forwarded's for= when the request has no
// X-Forwarded-For. From any other peer both headers are ignored, since a client can write whatever it likes in them.
// An IPv6 client counts by its /64, the network a household or a machine is given, so that taking another address
// of it for each try gains nothing.
class ClientAddress
{
public:
    explicit ClientAddress(std::vector<boost::asio::ip::address> trustedProxies);

    // The address counted for a peer: an IPv4 address, mapped into IPv6 or not, as itself; an IPv6 one as its /64.
    static std::string key(const boost::asio::ip::address& address);
    bool trusts(const boost::asio::ip::address& peer) const;
    // The address counted for the request: the client a trusted proxy names, else the peer's own. A proxy's header
    // that names no address leaves the proxy's own.
    std::string of(const boost::asio::ip::address& peer, const boost::beast::http::fields& head) const;

private:
    std::vector<boost::asio::ip::address> m_trusted;
};
