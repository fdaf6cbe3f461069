// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/WorkerProtocol.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane::media::worker {

namespace {

bool writeAll(int sock, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(sock, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int sock, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(sock, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool send(int sock, Type type, const void* fixed, std::size_t fixedSize, const void* extra,
          std::size_t extraSize, int fd) {
    Header h{type, static_cast<std::uint32_t>(fixedSize + extraSize)};
    // The header goes in one sendmsg with the descriptor, so the two arrive together.
    iovec iov{&h, sizeof h};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t n;
    do {
        n = ::sendmsg(sock, &msg, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof h)) return false;
    return writeAll(sock, static_cast<const std::uint8_t*>(fixed), fixedSize) &&
           writeAll(sock, static_cast<const std::uint8_t*>(extra), extraSize);
}

bool receiveHeader(int sock, Header* header, int* fd, std::uint32_t maxSize) {
    if (fd) *fd = -1;
    iovec iov{header, sizeof *header};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(sock, &msg, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    } while (n < 0 && errno == EINTR);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            int got = -1;
            std::memcpy(&got, CMSG_DATA(c), sizeof got);
            if (fd && *fd < 0)
                *fd = got;
            else
                ::close(got);
        }
    }
    if (n != static_cast<ssize_t>(sizeof *header) || header->size > maxSize) {
        if (fd && *fd >= 0) ::close(*fd);
        if (fd) *fd = -1;
        return false;
    }
    return true;
}

bool sendPayload(int sock, const void* data, std::size_t size) {
    return writeAll(sock, static_cast<const std::uint8_t*>(data), size);
}

bool receivePayload(int sock, void* data, std::size_t size) {
    return readAll(sock, static_cast<std::uint8_t*>(data), size);
}

bool receive(int sock, Header* header, std::vector<std::uint8_t>* payload, int* fd,
             std::uint32_t maxSize) {
    if (!receiveHeader(sock, header, fd, maxSize)) return false;
    payload->resize(header->size);
    return readAll(sock, payload->data(), header->size);
}

}  // namespace corvane::media::worker
