/* The least an editor can do at start: read the whole file, draw the first screen of it with plain ANSI
   sequences (text rows, then a reverse status row), and block reading the terminal until a key arrives.
   With a second argument "keys", the least an editor can do for a typed key: each key but q is answered
   at once with as many bytes as a character typed into a line takes (the key inserted where the cursor
   stands, a digit of the status row changed) until a q; the round trip through the terminal that no
   editor can beat. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) return 1;
    struct stat st;
    fstat(fd, &st);
    size_t size = (size_t)st.st_size;
    char* text = malloc(size + 1);
    if (!text) return 1;
    size_t got = 0;
    while (got < size) {
        ssize_t r = read(fd, text + got, size - got);
        if (r <= 0) break;
        got += (size_t)r;
    }
    close(fd);

    struct winsize ws = {24, 80, 0, 0};
    ioctl(1, TIOCGWINSZ, &ws);
    struct termios old, raw;
    tcgetattr(0, &old);
    raw = old;
    cfmakeraw(&raw);
    tcsetattr(0, TCSANOW, &raw);

    static char out[65536];
    size_t n = 0;
    n += (size_t)sprintf(out + n, "\x1b[H\x1b[2J");
    size_t p = 0;
    for (int row = 0; row < ws.ws_row - 1 && n + ws.ws_col + 8 < sizeof out; ++row) {
        int col = 0;
        while (p < got && text[p] != '\n') {
            char c = text[p++];
            if (c == '\t') {
                do
                    if (col < ws.ws_col) out[n++] = ' ';
                while (++col % 8);
            } else {
                if (col < ws.ws_col) out[n++] = (c >= 0 && c < 32) ? '?' : c;
                ++col;
            }
        }
        if (p < got) ++p;
        if (row < ws.ws_row - 2) {
            out[n++] = '\r';
            out[n++] = '\n';
        }
    }
    n += (size_t)sprintf(out + n, "\x1b[%d;1H\x1b[7m %-*.*s\x1b[m\x1b[H", ws.ws_row, ws.ws_col - 1, ws.ws_col - 1,
                         argv[1]);
    write(1, out, n);

    char key;
    while (read(0, &key, 1) == 1 && argc > 2 && strcmp(argv[2], "keys") == 0 && key != 'q') {
        char reply[32];
        int len = snprintf(reply, sizeof reply, "\x1b[@%c\x1b" "7\x1b[%d;70H\x1b[7m%d\x1b[m\x1b" "8", key,
                           ws.ws_row, (int)(n++ % 10));
        write(1, reply, (size_t)len);
    }
    tcsetattr(0, TCSANOW, &old);
    free(text);
    return 0;
}
