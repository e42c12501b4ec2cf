// SPDX-License-Identifier: MIT
// The least a client can do for the designed walk's command sequence, as a
// yardstick for the benchmark: blocking sockets, no event loop, no events,
// just enough reading of Unix listings for sizes and directory names. It
// walks depth-first with CWD, TYPE A, PORT, LIST and CDUP, as
// dirweigh-cli --walk design does, and prints the byte total.
//
//     sequence_floor PORT        (anonymous, on 127.0.0.1)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kNameMax = 255, kNamesMax = 256 };

static int control;
static char pending[1 << 16];
static int held = 0;
static long long total = 0;

static void send_line(const char* text) {
    char line[kNameMax + 16];
    const int n = snprintf(line, sizeof line, "%s\r\n", text);
    if (send(control, line, (size_t)n, 0) != n) exit(2);
}

// The next line of the control connection, taken out of `pending`; its
// reply code, and whether it opens a multi-line reply.
static int next_line(int* opens) {
    for (;;) {
        char* lf = memchr(pending, '\n', (size_t)held);
        if (lf) {
            const int length = (int)(lf - pending) + 1;
            const int code = atoi(pending);
            *opens = held > 3 && pending[3] == '-';
            memmove(pending, pending + length, (size_t)(held - length));
            held -= length;
            return code;
        }
        const ssize_t n = recv(control, pending + held, sizeof pending - (size_t)held, 0);
        if (n <= 0) exit(2);
        held += (int)n;
    }
}

static int reply(void) {
    int opens = 0;
    const int code = next_line(&opens);
    while (opens) {
        int again = 0;
        if (next_line(&again) == code && !again) break;
    }
    return code;
}

// The text after `fields` blank-separated fields of a listing line.
static char* after_fields(char* at, const char* end, int fields) {
    for (int f = 0; f < fields && at < end; ++f) {
        while (at < end && *at != ' ') ++at;
        while (at < end && *at == ' ') ++at;
    }
    return at;
}

static void walk(void) {
    struct sockaddr_in address;
    socklen_t length = sizeof address;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    getsockname(control, (struct sockaddr*)&address, &length);
    address.sin_port = 0;
    bind(listener, (struct sockaddr*)&address, sizeof address);
    listen(listener, 1);
    length = sizeof address;
    getsockname(listener, (struct sockaddr*)&address, &length);
    const unsigned char* ip = (const unsigned char*)&address.sin_addr;
    const int port = ntohs(address.sin_port);
    char command[64];
    send_line("TYPE A");
    reply();
    snprintf(command, sizeof command, "PORT %d,%d,%d,%d,%d,%d", ip[0], ip[1], ip[2], ip[3], port / 256, port % 256);
    send_line(command);
    reply();
    send_line("LIST");
    reply();
    const int data = accept(listener, 0, 0);
    close(listener);
    static char listing[1 << 20];
    int got = 0;
    ssize_t n;
    while ((n = recv(data, listing + got, sizeof listing - (size_t)got, 0)) > 0) got += (int)n;
    close(data);
    reply();

    char names[kNamesMax][kNameMax + 1];
    int count = 0;
    for (char* line = listing; line < listing + got;) {
        char* end = memchr(line, '\n', (size_t)(listing + got - line));
        if (!end) break;
        if (*line == '-') total += strtoll(after_fields(line, end, 4), 0, 10);
        if (*line == 'd' && count < kNamesMax) {
            char* name = after_fields(line, end, 8);
            int size = (int)(end - name);
            if (size > 0 && name[size - 1] == '\r') --size;
            if (size > 0 && size <= kNameMax && strncmp(name, ".", (size_t)size) != 0 &&
                strncmp(name, "..", (size_t)size) != 0) {
                memcpy(names[count], name, (size_t)size);
                names[count++][size] = '\0';
            }
        }
        line = end + 1;
    }
    for (int i = 0; i < count; ++i) {
        char cwd[kNameMax + 8];
        snprintf(cwd, sizeof cwd, "CWD %.255s", names[i]);
        send_line(cwd);
        reply();
        walk();
        send_line("CDUP");
        reply();
    }
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    struct sockaddr_in server = {0};
    server.sin_family = AF_INET;
    server.sin_port = htons((unsigned short)atoi(argv[1]));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    control = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(control, (struct sockaddr*)&server, sizeof server) != 0) return 1;
    reply();
    send_line("USER anonymous");
    reply();
    send_line("PASS anonymous@");
    reply();
    walk();
    send_line("QUIT");
    reply();
    printf("%lld\n", total);
    return 0;
}
