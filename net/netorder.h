// Byte order of IPv4 addresses and ports (ntohl, htonl, ntohs, htons) and
// the address texts (inet_pton, inet_ntop), from the platform's socket
// headers.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif
