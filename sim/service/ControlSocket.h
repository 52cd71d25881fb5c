// One exchange with a plain TCP server on 127.0.0.1: connect, send every byte, read until the
// server closes. Implemented on POSIX sockets and on Winsock, so that tests of both builds can
// talk to the standalone service's control interface.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// Throws std::runtime_error when the connection cannot be made, a send or receive fails, the
// answer grows past `largestAnswer` bytes, or the whole exchange takes longer than `timeout`.
std::string ExchangeWithLoopback(uint16_t port, std::string_view request, std::chrono::milliseconds timeout,
                                 size_t largestAnswer);
