// Listening, accepting and queued nonblocking writes for the simulator's sockets.
#include "tools/agentsim/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int NetSetNonblocking(int fd)
{
    int fl = fcntl(fd, F_GETFL, 0);
    return fl >= 0 && fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0;
}

int NetListen(const char *addr, uint32_t port, int *fd, uint32_t *bound, std::string *why)
{
    *fd = -1;
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    if (inet_pton(AF_INET, addr, &sa.sin_addr) != 1) {
        *why = std::string("not an IPv4 address: ") + addr;
        return 0;
    }
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        *why = std::string("socket: ") + strerror(errno);
        return 0;
    }
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof sa;
    if (bind(s, (sockaddr *)&sa, sizeof sa) != 0 || listen(s, 4) != 0 || getsockname(s, (sockaddr *)&sa, &len) != 0 ||
        !NetSetNonblocking(s)) {
        char buf[160];
        snprintf(buf, sizeof buf, "cannot listen on %s:%u: %s", addr, (unsigned)port, strerror(errno));
        *why = buf;
        close(s);
        return 0;
    }
    *fd = s;
    *bound = ntohs(sa.sin_port);
    return 1;
}

int NetAccept(int listenFd, int *fd, std::string *peer)
{
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    int s = accept(listenFd, (sockaddr *)&sa, &len);
    if (s < 0)
        return 0;
    if (!NetSetNonblocking(s)) {
        close(s);
        return 0;
    }
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &sa.sin_addr, ip, sizeof ip);
    char buf[INET_ADDRSTRLEN + 8];
    snprintf(buf, sizeof buf, "%s:%u", ip, (unsigned)ntohs(sa.sin_port));
    *peer = buf;
    *fd = s;
    return 1;
}

void OutQueueAdd(OutQueue *q, const uint8_t *p, size_t n)
{
    if (q->off == q->buf.size()) {
        q->buf.clear();
        q->off = 0;
    }
    q->buf.insert(q->buf.end(), p, p + n);
}

int OutQueueEmpty(const OutQueue *q) { return q->off == q->buf.size(); }

int OutQueueFlush(OutQueue *q, int fd, std::string *why)
{
    while (q->off < q->buf.size()) {
        ssize_t n = send(fd, q->buf.data() + q->off, q->buf.size() - q->off, MSG_NOSIGNAL);
        if (n > 0) {
            q->off += (size_t)n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 1;
        *why = std::string("write failed: ") + (n < 0 ? strerror(errno) : "no progress");
        return 0;
    }
    q->buf.clear();
    q->off = 0;
    return 1;
}

double NetNow(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}
