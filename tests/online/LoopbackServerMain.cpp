// Runs the fetch tests' server for a client in another process (the Windows tests under Wine).
// Prints "<port> <closed port>" on one line, serves until its standard input closes, then
// releases any request still held open.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "tests/online/LoopbackServer.h"

namespace {

// A loopback port that nothing listens on: bound once, then closed.
int ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

}  // namespace

int main() {
    qzx::test::LoopbackServer server;
    // The feed route serves one fixed feed, so that a client elsewhere can drive the ticker.
    server.feed =
        "<qzxads><soft>*</soft><url>http://a.example/</url><title>Alpha</title>"
        "<color>4</color></qzxads>";
    const std::string url = server.Url("");
    const std::string port = url.substr(url.rfind(':') + 1);
    std::cout << port << ' ' << ClosedPort() << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    return 0;
}
