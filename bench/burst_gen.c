/* The bursts of bench/peers.sh, made as fast as one process can make them. Prints the number
 * of changes made ("truth N") and the wall-clock time it finished ("end <ns since epoch>").
 *
 *   burst_gen prepare-renames ROOT N      make ROOT/r/f0..f<N-1> (before the watchers start)
 *   burst_gen prepare-appends ROOT FILES  make ROOT/a/f0..f<FILES-1>
 *   burst_gen folders ROOT FOLDERS FILES  mkdir ROOT/d<i>, then FILES files in it, folder by folder
 *   burst_gen nested ROOT COUNT FILES     mkdir -p ROOT/n<i>/a/b/c, then FILES files in c
 *   burst_gen renames ROOT N              rename ROOT/r/f<i> to ROOT/r/g<i>
 *   burst_gen appends ROOT TOTAL FILES    append a line to ROOT/a/f<i % FILES>, TOTAL times
 *   burst_gen stream ROOT PER_MINUTE      until stopped, PER_MINUTE changes a minute in ROOT/s,
 *                                         made in small groups every 10 ms: a file made, a line
 *                                         appended, the file deleted, over 1,000 names
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static void Touch(const char* path) {
    int fd = open(path, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
        perror(path);
        exit(1);
    }
    close(fd);
}

static void MakeDir(const char* path) {
    if (mkdir(path, 0755) != 0) {
        perror(path);
        exit(1);
    }
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: burst_gen MODE ROOT N [M]\n");
        return 1;
    }
    const char* mode = argv[1];
    const char* root = argv[2];
    long n = atol(argv[3]);
    long m = argc > 4 ? atol(argv[4]) : 0;
    char path[4096];
    char other[4096];
    long truth = 0;

    if (strcmp(mode, "prepare-renames") == 0 || strcmp(mode, "prepare-appends") == 0) {
        const char* sub = mode[8] == 'r' ? "r" : "a";
        snprintf(path, sizeof path, "%s/%s", root, sub);
        MakeDir(path);
        for (long i = 0; i < n; ++i) {
            snprintf(path, sizeof path, "%s/%s/f%ld", root, sub, i);
            Touch(path);
        }
    } else if (strcmp(mode, "folders") == 0) {
        for (long d = 0; d < n; ++d) {
            snprintf(path, sizeof path, "%s/d%ld", root, d);
            MakeDir(path);
            for (long f = 0; f < m; ++f) {
                snprintf(path, sizeof path, "%s/d%ld/f%ld", root, d, f);
                Touch(path);
                ++truth;
            }
        }
    } else if (strcmp(mode, "nested") == 0) {
        for (long d = 0; d < n; ++d) {
            snprintf(path, sizeof path, "%s/n%ld", root, d);
            MakeDir(path);
            strcat(path, "/a");
            MakeDir(path);
            strcat(path, "/b");
            MakeDir(path);
            strcat(path, "/c");
            MakeDir(path);
            for (long f = 0; f < m; ++f) {
                snprintf(path, sizeof path, "%s/n%ld/a/b/c/f%ld", root, d, f);
                Touch(path);
                ++truth;
            }
        }
    } else if (strcmp(mode, "renames") == 0) {
        for (long i = 0; i < n; ++i) {
            snprintf(path, sizeof path, "%s/r/f%ld", root, i);
            snprintf(other, sizeof other, "%s/r/g%ld", root, i);
            if (rename(path, other) != 0) {
                perror(path);
                return 1;
            }
            ++truth;
        }
    } else if (strcmp(mode, "appends") == 0) {
        if (m <= 0) return 1;
        for (long i = 0; i < n; ++i) {
            snprintf(path, sizeof path, "%s/a/f%ld", root, i % m);
            int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
            if (fd < 0 || write(fd, "x\n", 2) != 2) {
                perror(path);
                return 1;
            }
            close(fd);
            ++truth;
        }
    } else if (strcmp(mode, "stream") == 0) {
        snprintf(path, sizeof path, "%s/s", root);
        MakeDir(path);
        const long perTick = n / 6000 > 0 ? n / 6000 : 1;
        const long tickNs = n / 6000 > 0 ? 10000000L : 60000000000L / (n > 0 ? n : 1);
        struct timespec next;
        clock_gettime(CLOCK_MONOTONIC, &next);
        for (long k = 0;; ) {
            for (long i = 0; i < perTick; ++i, ++k) {
                snprintf(path, sizeof path, "%s/s/f%ld", root, (k / 3) % 1000);
                if (k % 3 == 0) {
                    Touch(path);
                } else if (k % 3 == 1) {
                    int fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
                    if (fd >= 0) {
                        if (write(fd, "x\n", 2) != 2) return 1;
                        close(fd);
                    }
                } else {
                    unlink(path);
                }
            }
            next.tv_nsec += tickNs;
            while (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL);
        }
    } else {
        fprintf(stderr, "unknown mode %s\n", mode);
        return 1;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    printf("truth %ld\nend %lld\n", truth, (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    return 0;
}
