// iphelp: the host-table changes around a unicast request to a device heard
// by broadcast: a static ARP entry binding the device's address to its MAC on
// the interface that heard it, and a host route to it through that interface.
// Nothing is cached: every operation reads the tables it needs afresh.  The
// changing operations report nothing; a change the host refuses is ignored.
// Addresses are IPv4 in network byte order.
#pragma once

#include <cstdint>

#include "platform.h"

// Allows the adding operations.  Before iphelp_init and after
// iphelp_cleanup they leave the host tables alone; the deleting operations
// always run, so a request whose entries went in before a shut-down still
// takes them out.  The first call also has iphelp_cleanup run at exit.
void iphelp_init();

// Stops further adds, waits for a change under way to finish, then deletes
// every neighbour entry and route that an add of ours made and no delete has
// taken out yet (a request still waiting for its reply, or one the end of
// the process will cut short).  The two locks themselves live as long as the
// process, so a request thread still running at shut-down never meets a
// freed lock.
void iphelp_cleanup();

// Reads the IPv4 address table (sorted by address when sort is set).  Returns
// the platform status, PLAT_OK with a table the caller frees (std::free).
uint32_t iphelp_get_addr_table(_IPADDRTABLE **table, bool sort);

// Reads the main IPv4 route table.  Returns the platform status, PLAT_OK with
// a table the caller frees (std::free); PLAT_ERR_NO_DATA when it is empty.
uint32_t iphelp_get_route_table(_IPROUTETABLE **table, bool sort);

// Finds the first row of table holding local_ip: true with its interface
// index and mask.  False with no table or for 255.255.255.255.
bool iphelp_find_interface(const _IPADDRTABLE *table, uint32_t local_ip, uint32_t *ifindex,
                           uint32_t *mask);

// Sets a permanent ARP entry ip -> mac on the interface owning local_ip,
// unless the table holds a permanent entry for ip there already (someone's
// static entry, whatever its MAC, is never replaced); an entry the kernel
// made while resolving the address is replaced.
void iphelp_add_arp(uint32_t ip, const uint8_t mac[6], uint32_t local_ip);

// Deletes that ARP entry again, only when iphelp_add_arp set it: an entry
// that was there before the request stays.
void iphelp_delete_arp(uint32_t ip, uint32_t local_ip, const uint8_t mac[6]);

// Adds a route to dest/mask through the interface owning local_ip, with
// next_hop (an address of that interface's subnet) as preferred source: a
// link-scope route, metric 20, main table, marked as ours with the protocol
// PLAT_ROUTE_PROTO_OWN.  A route with the same destination and metric that
// is there already stays as it is (then nothing is added).  Nothing for the
// destination 0.0.0.0.
void iphelp_add_host_route(uint32_t dest, uint32_t mask, uint32_t next_hop, uint32_t local_ip);

// Deletes the host route to dest that iphelp_add_host_route added, and only
// that one: a /32 to dest with our protocol mark, metric, table and
// interface.  Every other route to dest stays (an administrator's own, a
// subnet's route whose network address a device answers from, a kernel
// route).  Nothing when our add made none, or for 0.0.0.0, whose routes
// include the default route.
void iphelp_delete_routes(uint32_t dest);
