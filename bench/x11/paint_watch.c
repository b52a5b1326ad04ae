/* Starts a command and reports how long it takes until a top-level window
 * with the given name shows a dark pixel in a given window-relative
 * rectangle, polling the X server every millisecond. Then prints the
 * command's resident set size and stops it. Also the processor time the
 * command's process had used when the paint was seen: on a loaded machine
 * a steadier figure than the elapsed time (it leaves out the X server's and
 * any helper process's share).
 *   paint_watch NAME X Y W H -- COMMAND...
 * Output: "painted SECONDS rss_kib KIB cpu_s SECONDS" or "timeout". */
#define _DEFAULT_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static Window find_named(Display* d, Window w, const char* name, int depth) {
    char* n = NULL;
    if (XFetchName(d, w, &n) && n) {
        int same = strcmp(n, name) == 0;
        XFree(n);
        if (same) return w;
    }
    if (depth > 2) return 0;
    Window root, parent, *kids = NULL;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &parent, &kids, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) found = find_named(d, kids[i], name, depth + 1);
    if (kids) XFree(kids);
    return found;
}

static long rss_kib(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    long kib = -1;
    if (!f) return -1;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld", &kib) == 1) break;
    fclose(f);
    return kib;
}

/* The processor time of all of `pid`'s threads so far, in seconds, from the
 * scheduler's nanosecond counts (the first field of each thread's
 * schedstat); without those, user plus system time in clock ticks. -1 if
 * unknown. */
static double cpu_s(pid_t pid) {
    char path[320], buf[1024];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    unsigned long long ns = 0;
    int threads = 0;
    for (struct dirent* t; tasks && (t = readdir(tasks));) {
        if (t->d_name[0] == '.') continue;
        snprintf(path, sizeof path, "/proc/%d/task/%s/schedstat", (int)pid, t->d_name);
        FILE* f = fopen(path, "r");
        unsigned long long run = 0;
        if (f && fscanf(f, "%llu", &run) == 1) { ns += run; ++threads; }
        if (f) fclose(f);
    }
    if (tasks) closedir(tasks);
    if (threads) return ns / 1e9;
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f) return -1;
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    /* Fields 14 and 15, counted after the command name's closing parenthesis. */
    const char* p = strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (!p || sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) return -1;
    return (double)(utime + stime) / sysconf(_SC_CLK_TCK);
}

static int ignore_errors(Display* d, XErrorEvent* e) { (void)d; (void)e; return 0; }

int main(int argc, char** argv) {
    if (argc < 8 || strcmp(argv[6], "--") != 0) {
        fprintf(stderr, "usage: %s NAME X Y W H -- COMMAND...\n", argv[0]);
        return 2;
    }
    const char* name = argv[1];
    int rx = atoi(argv[2]), ry = atoi(argv[3]), rw = atoi(argv[4]), rh = atoi(argv[5]);
    Display* d = XOpenDisplay(NULL);
    if (!d) { fprintf(stderr, "no display\n"); return 2; }
    XSetErrorHandler(ignore_errors);
    /* A window of the same name that an earlier run left behind (its process
     * is gone, the server has not yet taken the window down) would be seen
     * as this run's: wait until it is gone. */
    for (double until = now() + 5; find_named(d, DefaultRootWindow(d), name, 0) && now() < until;) usleep(2000);
    double t0 = now();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[7], argv + 7);
        _exit(127);
    }
    int rc = 1;
    while (now() - t0 < 30) {
        Window w = find_named(d, DefaultRootWindow(d), name, 0);
        if (w) {
            XImage* img = XGetImage(d, w, rx, ry, rw, rh, AllPlanes, ZPixmap);
            if (img) {
                int dark = 0;
                for (int y = 0; y < rh && !dark; ++y)
                    for (int x = 0; x < rw && !dark; ++x) {
                        unsigned long p = XGetPixel(img, x, y);
                        if (((p >> 16) & 0xff) < 96 && ((p >> 8) & 0xff) < 96 && (p & 0xff) < 96) dark = 1;
                    }
                XDestroyImage(img);
                if (dark) {
                    double t = now() - t0, cpu = cpu_s(pid);
                    usleep(300000);
                    printf("painted %.4f rss_kib %ld cpu_s %.4f\n", t, rss_kib(pid), cpu);
                    rc = 0;
                    break;
                }
            }
        }
        usleep(1000);
    }
    if (rc) printf("timeout\n");
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    XCloseDisplay(d);
    return rc;
}
