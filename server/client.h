// A client of the command server: what `vq send`, the tests and the
// benchmark use to talk to a server.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace server {

class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects and opens the conversation (service "Glimvq", topic "Vq").
    // False with the reason in error().
    bool open(const std::string& socket_path);
    // Whether the conversation acknowledges data answers (asked for in the
    // initiate; on by default, and off with a server that does not know
    // it).  Set before open().
    void set_acknowledging(bool on) { acknowledging_ = on; }
    bool acknowledging() const { return acknowledging_ && server_acknowledges_; }
    // Sends an acknowledgement: `positive`, or negative with a reason.
    bool acknowledge(bool positive, const std::string& reason = {});
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // The extensions the server named when it accepted the conversation.
    const std::string& extensions() const { return extensions_; }

    // Sends a command line and waits for the acknowledgement.  True when it
    // was positive; the server's reason (for a negative one) in error().
    bool execute(const std::string& command);
    bool poke(const std::string& command);

    // One answer to a request of `item` ("" for a row): `text` is "Line N",
    // "Size W H" or "Empty"; `bytes` the row.  Acknowledged when the
    // conversation acknowledges: negatively when the text is none of these.
    bool request(std::string& text, std::string& bytes, const std::string& item = {});
    // Sends `count` requests before reading their answers (a stream of rows).
    bool request_many(size_t count, std::vector<std::string>& texts, std::vector<std::string>& rows);

    // Raw messages, for tests that speak the protocol themselves.
    bool send_message(char kind, const std::string& payload);
    bool read_message(char& kind, std::string& payload);

private:
    bool command(char kind, const std::string& text);
    bool take_data(const std::string& payload, std::string& text, std::string& bytes, std::string* batch = nullptr);
    bool write_all(const char* data, size_t size);
    bool read_all(char* data, size_t size);

    int fd_ = -1;
    std::string error_;
    std::string extensions_;
    bool acknowledging_ = true;
    bool server_acknowledges_ = false;
};

// Collects every row of the first image of the server: requests until each
// row 0 .. height - 1 has come (the server's row counter may start anywhere).
// `width` and `height` receive the size, `rgba` the rows top to bottom.
// False with the reason in `error` ("Empty": no image open).
bool client_read_rows(Client& client, long& width, long& height, std::string& rgba, std::string& error);

} // namespace server
