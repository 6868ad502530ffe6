/* Modem lines for pty slaves under Wine. A pty has none (TIOCMGET fails with ENOTTY), so
 * Wine's event wait ends at once; this library, put in LD_PRELOAD, answers the modem-line
 * ioctls of pty slaves from two files per pty in $QUILLON_MODEM_LINES:
 *   pts<N>.in   the lines the far end drives (TIOCM_CTS, _DSR, _CAR, _RNG), decimal
 *   pts<N>.out  the lines the port drives (TIOCM_DTR, _RTS), decimal, written here */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int pty_minor(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
    unsigned major = major(st.st_rdev);
    return major >= 136 && major <= 143 ? (int)((major - 136) * 256 + minor(st.st_rdev)) : -1;
}

static int lines_file(int minor, const char* ext, char* path, size_t size) {
    const char* dir = getenv("QUILLON_MODEM_LINES");
    if (!dir) return 0;
    snprintf(path, size, "%s/pts%d.%s", dir, minor, ext);
    return 1;
}

static int read_lines(int minor, const char* ext) {
    char path[512];
    int v = 0;
    if (!lines_file(minor, ext, path, sizeof path)) return 0;
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    if (fscanf(f, "%d", &v) != 1) v = 0;
    fclose(f);
    return v;
}

static void write_out(int minor, int v) {
    char path[512], tmp[520];
    if (!lines_file(minor, "out", path, sizeof path)) return;
    snprintf(tmp, sizeof tmp, "%s.new", path);
    FILE* f = fopen(tmp, "w");
    if (!f) return;
    fprintf(f, "%d\n", v);
    fclose(f);
    rename(tmp, path); /* the reader sees the old value or the new, never half */
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET) {
        int minor = pty_minor(fd);
        if (minor >= 0 && getenv("QUILLON_MODEM_LINES")) {
            const int driven = TIOCM_DTR | TIOCM_RTS;
            int out = read_lines(minor, "out") & driven;
            int* bits = (int*)arg;
            if (request == TIOCMGET) {
                *bits = out | (read_lines(minor, "in") & ~driven);
                return 0;
            }
            if (request == TIOCMBIS) out |= *bits & driven;
            if (request == TIOCMBIC) out &= ~(*bits & driven);
            if (request == TIOCMSET) out = *bits & driven;
            write_out(minor, out);
            return 0;
        }
    }
    return real(fd, request, arg);
}
