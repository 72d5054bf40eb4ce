#pragma once
// The network a Windows test sees: this computer's adapters as a replaced GetAdaptersAddresses
// lists them (the only way to give them WINS servers under Wine), and socket addresses.
#include "net/Sockets.h"
#include "platform/NetworkApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

struct FakeAdapter {
    struct Address {
        std::uint32_t ip;
        UINT8 prefix;
    };
    std::vector<Address> addresses;
    std::vector<std::uint32_t> wins;
    IF_OPER_STATUS status = IfOperStatusUp;
    IFTYPE type = IF_TYPE_ETHERNET_CSMACD;
};

inline std::vector<FakeAdapter> g_adapters;
inline ULONG g_leastSize; // a smaller buffer is refused as too small: the list grew

inline sockaddr_in Ipv4(std::uint32_t ip, std::uint16_t port = 0)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    for (int k = 0; k < 4; ++k)
        reinterpret_cast<std::uint8_t*>(&address.sin_addr)[k] = static_cast<std::uint8_t>(ip >> (24 - 8 * k));
    reinterpret_cast<std::uint8_t*>(&address.sin_port)[0] = static_cast<std::uint8_t>(port >> 8);
    reinterpret_cast<std::uint8_t*>(&address.sin_port)[1] = static_cast<std::uint8_t>(port);
    return address;
}

inline net::Endpoint FromIpv4(const sockaddr_in& address)
{
    const auto* ip = reinterpret_cast<const std::uint8_t*>(&address.sin_addr);
    const auto* port = reinterpret_cast<const std::uint8_t*>(&address.sin_port);
    return {std::uint32_t(ip[0]) << 24 | ip[1] << 16 | ip[2] << 8 | ip[3], static_cast<std::uint16_t>(port[0] << 8 | port[1])};
}

// Lists g_adapters: the first in the buffer given, as the system puts it there; what the
// records point to lives here, made anew at each call.
inline ULONG WINAPI ListAdapters(ULONG family, ULONG flags, PVOID reserved, PIP_ADAPTER_ADDRESSES list, PULONG size)
{
    EXPECT_TRUE(family == AF_INET && (flags & GAA_FLAG_INCLUDE_WINS_INFO) && !reserved);
    if (g_adapters.empty())
        return ERROR_NO_DATA;
    const ULONG needed = std::max<ULONG>(sizeof(IP_ADAPTER_ADDRESSES_LH), g_leastSize);
    if (*size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    static std::deque<IP_ADAPTER_ADDRESSES_LH> adapters;
    static std::deque<IP_ADAPTER_UNICAST_ADDRESS_LH> unicasts;
    static std::deque<IP_ADAPTER_WINS_SERVER_ADDRESS_LH> servers;
    static std::deque<sockaddr_in> addresses;
    static char names[][5] = {"eth0", "eth1", "eth2", "eth3", "eth4"};
    adapters.clear(), unicasts.clear(), servers.clear(), addresses.clear();
    const auto socketAddress = [](std::uint32_t ip) {
        return SOCKET_ADDRESS{reinterpret_cast<sockaddr*>(&addresses.emplace_back(Ipv4(ip))), sizeof(sockaddr_in)};
    };
    for (std::size_t k = g_adapters.size(); k-- > 0;) {
        IP_ADAPTER_ADDRESSES_LH& adapter = adapters.emplace_front(); // zeros
        adapter.Length = sizeof adapter;
        adapter.IfIndex = static_cast<IF_INDEX>(k + 1);
        adapter.AdapterName = names[k];
        adapter.OperStatus = g_adapters[k].status;
        adapter.IfType = g_adapters[k].type;
        adapter.Next = adapters.size() > 1 ? &adapters[1] : nullptr;
        for (auto ip = g_adapters[k].addresses.rbegin(); ip != g_adapters[k].addresses.rend(); ++ip) {
            IP_ADAPTER_UNICAST_ADDRESS_LH& unicast = unicasts.emplace_front();
            unicast.Length = sizeof unicast;
            unicast.Next = std::exchange(adapter.FirstUnicastAddress, &unicast);
            unicast.Address = socketAddress(ip->ip);
            unicast.OnLinkPrefixLength = ip->prefix;
        }
        for (auto ip = g_adapters[k].wins.rbegin(); ip != g_adapters[k].wins.rend(); ++ip) {
            IP_ADAPTER_WINS_SERVER_ADDRESS_LH& server = servers.emplace_front();
            server.Length = sizeof server;
            server.Next = std::exchange(adapter.FirstWinsServerAddress, &server);
            server.Address = socketAddress(*ip);
        }
    }
    std::memcpy(list, &adapters.front(), sizeof adapters.front());
    return ERROR_SUCCESS;
}
