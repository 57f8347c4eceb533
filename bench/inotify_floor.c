/* The floor of bench/peers.sh: a reader that only drains inotify. It watches every folder
 * below ROOT, adds a watch for each new folder it hears of (without listing it, as the usual
 * recursive watchers do), counts what it reads and prints the counts when stopped.
 *
 *   inotify_floor ROOT     prints "ready" on standard error once watching; SIGTERM stops it
 */
#define _GNU_SOURCE
#include <errno.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#define MASK                                                                                 \
    (IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |           \
     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW)

static int g_fd;
static char** g_paths; /* by watch descriptor */
static int g_capacity;

static void Remember(int wd, const char* path) {
    if (wd < 0) return;
    if (wd >= g_capacity) {
        int grown = g_capacity ? g_capacity * 2 : 1024;
        while (grown <= wd) grown *= 2;
        g_paths = realloc(g_paths, sizeof(char*) * (size_t)grown);
        memset(g_paths + g_capacity, 0, sizeof(char*) * (size_t)(grown - g_capacity));
        g_capacity = grown;
    }
    free(g_paths[wd]);
    g_paths[wd] = strdup(path);
}

static int AddTree(const char* path, const struct stat* info, int type, struct FTW* ftw) {
    (void)info, (void)ftw;
    if (type == FTW_D) Remember(inotify_add_watch(g_fd, path, MASK), path);
    return 0;
}

static long long NowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, NULL);
    int sfd = signalfd(-1, &stop, SFD_CLOEXEC);
    g_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    nftw(argv[1], AddTree, 64, FTW_PHYS);
    fprintf(stderr, "ready\n");

    static char buffer[256 * 1024] __attribute__((aligned(8)));
    long files = 0, folders = 0, modified = 0, movedTo = 0, overflows = 0, events = 0;
    long long last = 0;
    struct pollfd fds[2] = {{sfd, POLLIN, 0}, {g_fd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[0].revents) break;
        if (!(fds[1].revents & POLLIN)) continue;
        ssize_t length = read(g_fd, buffer, sizeof buffer);
        if (length <= 0) continue;
        last = NowNs();
        for (char* p = buffer; p < buffer + length;) {
            struct inotify_event* e = (struct inotify_event*)p;
            p += sizeof *e + e->len;
            ++events;
            if (e->mask & IN_Q_OVERFLOW) ++overflows;
            if (e->mask & IN_MODIFY) ++modified;
            if (e->mask & IN_MOVED_TO) ++movedTo;
            if (!(e->mask & IN_CREATE)) continue;
            if (!(e->mask & IN_ISDIR)) {
                ++files;
                continue;
            }
            ++folders;
            if (e->wd < g_capacity && g_paths[e->wd]) {
                char path[4096];
                snprintf(path, sizeof path, "%s/%s", g_paths[e->wd], e->name);
                Remember(inotify_add_watch(g_fd, path, MASK), path);
            }
        }
    }
    printf("events %ld\ncreated_files %ld\ncreated_folders %ld\nmodified %ld\nmoved_to %ld\n"
           "overflows %ld\nlast %lld\n",
           events, files, folders, modified, movedTo, overflows, last);
    return 0;
}
