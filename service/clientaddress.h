#pragma once

#include <boost/asio/ip/address.hpp>
#include <boost/beast/http/fields.hpp>

#include <string>
#include <vector>

// Who a request comes from, as every per-address limit counts it. A connection from a trusted proxy speaks for the
// client it names: reading X-Forwarded-For (or Forwarded's for= when the request has no X-Forwarded-For) from the
// right, past every address that is itself a trusted proxy, the first address that is not; the left-most when all
// are. Entries left of the client are the client's own writing and change nothing. From any other peer both headers
// are ignored, since a client can write whatever it likes in them. An IPv6 client counts by its /64, the network a
// household or a machine is given, so that taking another address of it for each try gains nothing.
class ClientAddress
{
public:
    explicit ClientAddress(std::vector<boost::asio::ip::address> trustedProxies);

    // The address counted for a peer: an IPv4 address, mapped into IPv6 or not, as itself; an IPv6 one as its /64.
    static std::string key(const boost::asio::ip::address& address);
    bool trusts(const boost::asio::ip::address& peer) const;
    // The address counted for the request: the client the trusted proxies name, else the peer's own. An entry that
    // names no address leaves the trusted proxy that wrote it.
    std::string of(const boost::asio::ip::address& peer, const boost::beast::http::fields& head) const;

private:
    std::vector<boost::asio::ip::address> m_trusted;
};
