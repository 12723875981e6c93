#include "server/client.h"

#include "server/server.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace server {

Client::~Client()
{
    close();
}

void Client::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool Client::open(const std::string& path)
{
    close();
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        error_ = "the socket name " + path + " is too long";
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error_ = "no server on " + path + ": " + std::strerror(errno) +
                 " (start one with \"vq serve\" or the workstation, or name its socket with --socket)";
        close();
        return false;
    }
    char kind = 0;
    std::string answer;
    // "Ack": this client acknowledges every data answer.
    std::string initiate("Glimvq\0Vq", 9);
    if (acknowledging_)
        initiate += std::string("\0Ack", 4);
    if (!send_message(kInitiate, initiate) || !read_message(kind, answer))
        return false;
    if (kind != kAcknowledge || answer.empty() || answer[0] != 1) {
        error_ = "the server refused the conversation" + (answer.size() > 1 ? ": " + answer.substr(1) : "");
        close();
        return false;
    }
    // "\1Glimvq\0Vq\0EXTENSIONS"
    size_t nul = answer.find('\0', 1);
    nul = nul == std::string::npos ? nul : answer.find('\0', nul + 1);
    extensions_ = nul == std::string::npos ? "" : answer.substr(nul + 1);
    server_acknowledges_ = (" " + extensions_ + " ").find(" Ack ") != std::string::npos;
    return true;
}

bool Client::write_all(const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = std::string("the server went away: ") + std::strerror(errno);
            close();
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Client::read_all(char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::recv(fd_, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n == 0 ? "the server closed the conversation" : std::string("reading the answer: ") + std::strerror(errno);
            close();
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Client::send_message(char kind, const std::string& payload)
{
    if (fd_ < 0) {
        error_ = "no conversation";
        return false;
    }
    uint32_t n = static_cast<uint32_t>(payload.size() + 1);
    std::string message = {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                           static_cast<char>(n), kind};
    message += payload;
    return write_all(message.data(), message.size());
}

bool Client::read_message(char& kind, std::string& payload)
{
    if (fd_ < 0) {
        error_ = "no conversation";
        return false;
    }
    unsigned char head[5];
    if (!read_all(reinterpret_cast<char*>(head), sizeof head))
        return false;
    uint32_t n = static_cast<uint32_t>(head[0]) << 24 | static_cast<uint32_t>(head[1]) << 16 |
                 static_cast<uint32_t>(head[2]) << 8 | head[3];
    // Rows of the widest image the system makes, and then some.
    if (n == 0 || n > (1u << 30)) {
        error_ = "the server sent a message of " + std::to_string(n) + " bytes";
        close();
        return false;
    }
    kind = static_cast<char>(head[4]);
    payload.resize(n - 1);
    return read_all(payload.data(), payload.size());
}

bool Client::command(char kind, const std::string& text)
{
    char answer_kind = 0;
    std::string answer;
    if (!send_message(kind, text) || !read_message(answer_kind, answer))
        return false;
    if (answer_kind != kAcknowledge || answer.empty()) {
        error_ = "the server answered with something else than an acknowledgement";
        return false;
    }
    error_ = answer.substr(1);
    return answer[0] == 1;
}

bool Client::execute(const std::string& text)
{
    return command(kExecute, text);
}

bool Client::poke(const std::string& text)
{
    return command(kPoke, text);
}

namespace {

void split_answer(const std::string& payload, std::string& text, std::string& bytes)
{
    size_t nul = payload.find('\0');
    text = payload.substr(0, nul);
    bytes = nul == std::string::npos ? std::string() : payload.substr(nul + 1);
}

} // namespace

bool Client::acknowledge(bool positive, const std::string& reason)
{
    return send_message(kAcknowledge, std::string(1, positive ? '\1' : '\0') + reason);
}

// A data answer taken apart, and acknowledged when the conversation does:
// at once, or added to `batch` to go with the others of a stream.
bool Client::take_data(const std::string& payload, std::string& text, std::string& bytes, std::string* batch)
{
    split_answer(payload, text, bytes);
    bool known = text == "Empty" || text.rfind("Line ", 0) == 0 || text.rfind("Size ", 0) == 0;
    if (acknowledging()) {
        std::string ack = known ? std::string("\0\0\0\2A\1", 6) : std::string("\0\0\0\2A\0", 6);
        if (batch && known)
            *batch += ack;
        else if (!acknowledge(known, known ? std::string() : "an answer of no known kind"))
            return false;
    }
    if (!known)
        error_ = "the server answered \"" + text.substr(0, 40) + "\"";
    return known;
}

bool Client::request(std::string& text, std::string& bytes, const std::string& item)
{
    char kind = 0;
    std::string payload;
    if (!send_message(kRequest, item) || !read_message(kind, payload))
        return false;
    if (kind != kData) {
        error_ = payload.size() > 1 ? payload.substr(1) : "the request was refused";
        return false;
    }
    return take_data(payload, text, bytes);
}

bool Client::request_many(size_t count, std::vector<std::string>& texts, std::vector<std::string>& rows)
{
    texts.resize(count);
    rows.resize(count);
    std::string burst;
    for (size_t i = 0; i < count; ++i)
        burst += std::string("\0\0\0\1", 4) + kRequest;
    std::string acks;
    if (fd_ < 0 || !write_all(burst.data(), burst.size()))
        return false;
    for (size_t i = 0; i < count; ++i) {
        char kind = 0;
        std::string payload;
        if (!read_message(kind, payload))
            return false;
        if (kind != kData) {
            error_ = payload.size() > 1 ? payload.substr(1) : "the request was refused";
            return false;
        }
        if (!take_data(payload, texts[i], rows[i], &acks))
            return false;
    }
    // One write for the acknowledgements of the stream.
    return acks.empty() || write_all(acks.data(), acks.size());
}

bool client_read_rows(Client& client, long& width, long& height, std::string& rgba, std::string& error)
{
    std::string text, bytes;
    if (!client.request(text, bytes, "Size")) {
        error = client.error();
        return false;
    }
    if (text == "Empty") {
        error = "the server has no image open (\"Empty\")";
        return false;
    }
    long w = 0, h = 0;
    if (std::sscanf(text.c_str(), "Size %ld %ld", &w, &h) != 2 || w <= 0 || h <= 0) {
        error = "the server did not tell the image's size (\"" + text + "\")";
        return false;
    }
    width = w;
    height = h;
    size_t row_bytes = static_cast<size_t>(w) * 4;
    rgba.assign(row_bytes * static_cast<size_t>(h), '\0');
    std::vector<char> have(static_cast<size_t>(h), 0);
    long missing = h;
    // Other clients may take rows meanwhile: ask until each has come, within reason.
    long budget = 4 * h + 64;
    std::vector<std::string> texts, rows;
    while (missing > 0 && budget > 0) {
        size_t burst = static_cast<size_t>(std::min<long>({missing, budget, 256}));
        budget -= static_cast<long>(burst);
        if (!client.request_many(burst, texts, rows)) {
            error = client.error();
            return false;
        }
        for (size_t i = 0; i < burst; ++i) {
            long y = -1;
            if (texts[i] == "Empty") {
                error = "the image was closed while it was read";
                return false;
            }
            if (std::sscanf(texts[i].c_str(), "Line %ld", &y) != 1 || y < 0 || y >= h || rows[i].size() != row_bytes) {
                error = "the image changed while it was read (\"" + texts[i] + "\")";
                return false;
            }
            std::memcpy(rgba.data() + static_cast<size_t>(y) * row_bytes, rows[i].data(), row_bytes);
            if (!have[static_cast<size_t>(y)]) {
                have[static_cast<size_t>(y)] = 1;
                --missing;
            }
        }
    }
    if (missing > 0) {
        error = std::to_string(missing) + " rows did not come: other clients took them";
        return false;
    }
    return true;
}

} // namespace server
