/* LD_PRELOAD shim for Wine on ptys: Linux ptys reject the modem-line ioctls (TIOCMGET, TIOCMSET,
 * TIOCMBIS, TIOCMBIC), which makes Wine's WaitCommEvent give up at once and its DTR/RTS calls
 * fail. This emulates the lines for pty slaves only. The output lines (DTR, RTS) are mirrored to
 * the file $PTYMODEM_STATE ("DTR=1 RTS=1") for a simulated terminal to see; the input lines
 * (CTS, DSR, CD, RI) are read from $PTYMODEM_STATE.in (decimal TIOCM_* bits) when it exists.
 *
 * Built for both the 64-bit and the 32-bit Wine loader by scripts/wine-env.sh with the host's
 * gcc, which may lack a 32-bit C library for development: so this file includes no system header
 * and declares the few libc calls it makes (their ABI is the same on x86-64 and i386 Linux); it
 * is linked against the target's libc.so.6 itself. */

typedef __SIZE_TYPE__ size_t;
typedef long ssize_t;
typedef __builtin_va_list va_list;
#define va_start(ap, last) __builtin_va_start(ap, last)
#define va_arg(ap, type) __builtin_va_arg(ap, type)
#define va_end(ap) __builtin_va_end(ap)

extern void *dlsym(void *handle, const char *name);
extern int *__errno_location(void);
extern char *getenv(const char *name);
extern ssize_t readlink(const char *path, char *buffer, size_t size);
extern int snprintf(char *buffer, size_t size, const char *format, ...);
extern int open(const char *path, int flags, ...);
extern ssize_t read(int fd, void *buffer, size_t count);
extern ssize_t write(int fd, const void *buffer, size_t count);
extern int close(int fd);
extern int rename(const char *from, const char *to);
extern int getpid(void);

#define RTLD_NEXT ((void *)-1l)
#define O_RDONLY 0
#define O_WRONLY 1
#define O_CREAT 0100
#define O_TRUNC 01000
#define ENOTTY 25
#define EINVAL 22
#define ENOSYS 38

/* Linux x86 and x86-64 numbers. */
#define TIOCMGET 0x5415
#define TIOCMBIS 0x5416
#define TIOCMBIC 0x5417
#define TIOCMSET 0x5418
#define TIOCM_DTR 0x002
#define TIOCM_RTS 0x004
#define TIOCM_CTS 0x020
#define TIOCM_CAR 0x040
#define TIOCM_RNG 0x080
#define TIOCM_DSR 0x100

static int out_lines = TIOCM_DTR | TIOCM_RTS;

static int starts_with(const char *text, const char *prefix) {
    while (*prefix != '\0') {
        if (*text++ != *prefix++) return 0;
    }
    return 1;
}

/* A pty slave is /dev/pts/N (not /dev/pts/ptmx). */
static int is_pty(int fd) {
    char link[64];
    char target[128];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return starts_with(target, "/dev/pts/") && target[9] >= '0' && target[9] <= '9';
}

static int in_lines(void) {
    const char *base = getenv("PTYMODEM_STATE");
    int v = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    if (base != 0) {
        char path[512];
        char text[32];
        snprintf(path, sizeof path, "%s.in", base);
        int fd = open(path, O_RDONLY);
        if (fd >= 0) {
            ssize_t n = read(fd, text, sizeof text - 1);
            close(fd);
            v = 0;
            for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
                v = v * 10 + (text[i] - '0');
            }
        }
    }
    return v & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
}

static void publish(void) {
    const char *base = getenv("PTYMODEM_STATE");
    if (base == 0) return;
    char tmp[512];
    char text[32];
    snprintf(tmp, sizeof tmp, "%s.tmp%d", base, getpid());
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    int n = snprintf(text, sizeof text, "DTR=%d RTS=%d\n", !!(out_lines & TIOCM_DTR),
                     !!(out_lines & TIOCM_RTS));
    ssize_t written = write(fd, text, (size_t)n);
    close(fd);
    if (written == n) rename(tmp, base);
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int emulate(ioctl_fn real, int fd, unsigned long req, void *arg) {
    if (real == 0) {
        *__errno_location() = ENOSYS;
        return -1;
    }
    int saved = *__errno_location();
    int r = real(fd, req, arg);
    int error = *__errno_location();
    if (r != -1 || (error != ENOTTY && error != EINVAL) || !is_pty(fd)) return r;
    switch (req) {
    case TIOCMGET: *(int *)arg = (out_lines & (TIOCM_DTR | TIOCM_RTS)) | in_lines(); break;
    case TIOCMSET: out_lines = *(int *)arg; publish(); break;
    case TIOCMBIS: out_lines |= *(int *)arg; publish(); break;
    case TIOCMBIC: out_lines &= ~*(int *)arg; publish(); break;
    default: return r;
    }
    *__errno_location() = saved;
    return 0;
}

int ioctl(int fd, unsigned long req, ...) {
    static ioctl_fn real;
    va_list ap;
    va_start(ap, req);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return emulate(real, fd, req, arg);
}

#ifdef __i386__
/* 32-bit glibc >= 2.34 built with a 64-bit time_t (Wine's i386 ntdll.so) calls this name. */
int __ioctl_time64(int fd, unsigned long req, ...) {
    static ioctl_fn real;
    va_list ap;
    va_start(ap, req);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "__ioctl_time64");
    return emulate(real, fd, req, arg);
}
#endif
