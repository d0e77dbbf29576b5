// Socket helpers of the simulator (POSIX): listening sockets and a write queue that
// copes with partial writes on nonblocking sockets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct OutQueue {
    std::vector<uint8_t> buf;
    size_t off; // bytes of buf already written
};

// Binds and listens on addr:port (port 0: any); *bound receives the port.
int NetListen(const char *addr, uint32_t port, int *fd, uint32_t *bound, std::string *why);
// Accepts one nonblocking connection; *peer gets "a.b.c.d:port".
int NetAccept(int listenFd, int *fd, std::string *peer);
int NetSetNonblocking(int fd);

void OutQueueAdd(OutQueue *q, const uint8_t *p, size_t n);
int OutQueueEmpty(const OutQueue *q);
// Writes what the socket takes now. Returns 0 on a hard error (reason in *why).
int OutQueueFlush(OutQueue *q, int fd, std::string *why);

double NetNow(void); // monotonic seconds
