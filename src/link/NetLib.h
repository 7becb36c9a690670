// The network library of the Ethernet port: a raw TCP data connection to the
// printer and a datagram channel for the name query and the printer search.
//
// Every call returns a value, never throws: handles and sockets are descriptors
// (> 0, since descriptors 0 to 2 are always open) or -1; counts are >= 0 or -1.
// Time-outs are in seconds and bound the whole call, enforced with
// non-blocking descriptors and poll() deadlines. A time-out of 0 or less
// takes the default of the call (3 s to connect, 5 s to write, read, send or
// receive), so a port record that was never configured still behaves sanely.
//
// The calls live in namespace NetLib because ClosePort is also a routine of
// the main window.
#pragma once

#include <cstdint>
#include <string>

namespace NetLib {

// TCP port of the data connection, 9100; TORVA_NET_PORT overrides it.
int DataPort();
// Datagram port of the name query and the search, 3000; TORVA_NAME_PORT
// overrides it.
int NamePort();

// Connects to port `port` of the dotted IPv4 address within `timeoutSec`.
// Returns the connection handle, or -1 (bad address, refused, time-out).
int OpenPort(const char* address, int port, int timeoutSec);

// Sends all `length` bytes within `timeoutSec`. Returns `length`, or -1 when
// the connection fails or not every byte could be sent in time: a short write
// is a failure.
int WritePort(int handle, const uint8_t* data, int length, int timeoutSec);

// Receives exactly `length` bytes within `timeoutSec`. Returns `length`, or
// -1 when the connection fails, the peer closes first or the time runs out: a
// short read is a failure (the bytes that did arrive are in the buffer).
int ReadPort(int handle, uint8_t* buffer, int length, int timeoutSec);

// Closes a connection handle; handles of 0 or less are ignored.
void ClosePort(int handle);

// A datagram socket. `family` 2 is IPv4 (the only family offered); `kind` 0
// is a datagram socket. Returns the socket, or -1.
int CreatSocket(int family, int kind);

// Sends one datagram of `length` bytes to port `port` of `address` within
// `timeoutSec`. Returns the count sent, or -1. The socket is tied to that
// address and port from then on: it receives from them alone, and a receive
// fails at once when nobody listens there.
int SendComm(int sock, const char* address, int port, const uint8_t* data, int length, int timeoutSec);

// Waits up to `timeoutSec` for one datagram from port `port` of `address`
// (datagrams from anyone else are dropped; -1 at once when the query was
// refused) and stores at most `capacity`
// bytes of it. Returns the count stored, or -1 on time-out or error. The
// caller's buffer is not terminated here.
int RecievComm(int sock, const char* address, int port, uint8_t* buffer, int capacity, int timeoutSec);

// Closes a datagram socket; values of 0 or less are ignored.
void CloseSocket(int sock);

// Printer search: sends the name query "BG" to the name port of the local
// network's broadcast address and collects, for about two seconds, the
// addresses that answer. The environment variable TORVA_NET_SEARCH names one
// address to ask instead of the broadcast (tests use 127.0.0.1).
// Writes the addresses into `buffer` as "a.b.c.d@e.f.g.h@" (zero-terminated,
// never more than capacity - 1 characters, an address that does not fit is
// left out) and returns how many it wrote; 0 when none answered, -1 on error.
int NetGetPrinterIP(char* buffer, int capacity);

}  // namespace NetLib
