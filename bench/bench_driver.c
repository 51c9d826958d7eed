/* Starts programs that speak framed messages on standard input and output, and times them or
 * measures their memory. Several commands, separated by "--", are measured in turn within one
 * run, so that their figures are taken under the same conditions.
 *
 *   bench_driver rate INPUT RUNS -- CMD... [-- CMD...]      median seconds to consume INPUT
 *   bench_driver startup RUNS -- CMD... [-- CMD...]         median microseconds, empty input
 *     (both print the wall-clock figure, then the CPU time the program used)
 *   bench_driver roundtrip INPUT ROUNDS -- CMD... [-- ...]  median microseconds per answered frame
 *   bench_driver peak-rss INPUT -- CMD... [-- CMD...]       peak resident KiB while fed INPUT
 *
 * Each prints one line per command: its index and its figure. INPUT for roundtrip holds one
 * frame, sent again for every round; the answer counted is the first frame containing MARKER
 * (environment BENCH_MARKER, default "documentComplete"). */

#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_COMMANDS 4

struct Command {
    char** argv;
};

static void Fail(const char* what) {
    perror(what);
    exit(2);
}

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static int CompareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a;
    const double y = *(const double*)b;
    return (x > y) - (x < y);
}

static double Median(double* values, size_t count) {
    qsort(values, count, sizeof *values, CompareDoubles);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

/* Splits "-- A... -- B..." into commands; returns how many. */
static int ParseCommands(char** args, struct Command* commands) {
    int count = 0;
    for (char** arg = args; *arg != NULL; ++arg) {
        if (strcmp(*arg, "--") != 0) {
            continue;
        }
        *arg = NULL; /* ends the previous command's argv */
        if (arg[1] == NULL || strcmp(arg[1], "--") == 0 || count == MAX_COMMANDS) {
            fprintf(stderr, "bench_driver: empty command or too many commands\n");
            exit(2);
        }
        commands[count++].argv = arg + 1;
    }
    if (count == 0) {
        fprintf(stderr, "bench_driver: no command given\n");
        exit(2);
    }
    return count;
}

static void ReadFile(const char* path, char** data, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) {
        Fail(path);
    }
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        Fail(path);
    }
    *size = (size_t)info.st_size;
    *data = malloc(*size ? *size : 1);
    if (*data == NULL || fread(*data, 1, *size, file) != *size) {
        Fail(path);
    }
    fclose(file);
}

/* Starts the command with the given descriptors as its standard streams (-1: the null device). */
static pid_t Start(const struct Command* command, int in, int out) {
    const pid_t pid = fork();
    if (pid < 0) {
        Fail("fork");
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(in >= 0 ? in : null, STDIN_FILENO);
        dup2(out >= 0 ? out : null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(command->argv[0], command->argv);
        _exit(127);
    }
    return pid;
}

static void WaitFor(pid_t pid, struct rusage* usage) {
    int status = 0;
    struct rusage ignored;
    if (wait4(pid, &status, 0, usage != NULL ? usage : &ignored) < 0) {
        Fail("wait4");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench_driver: a command failed (status %d)\n", status);
        exit(1);
    }
}

static double Seconds(struct timeval time) {
    return (double)time.tv_sec + (double)time.tv_usec / 1e6;
}

/* Wall-clock seconds of one run; `cpu` receives the user and system time it took. */
static double TimedRun(const struct Command* command, const char* inputPath, double* cpu) {
    const int in = open(inputPath, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        Fail(inputPath);
    }
    const double start = Now();
    const pid_t pid = Start(command, in, -1);
    close(in);
    struct rusage usage;
    WaitFor(pid, &usage);
    *cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return Now() - start;
}

/* Runs every command RUNS times, in turn, and prints the median wall-clock and CPU time of
 * each (CPU time says more when other work shares the machine). */
static void MeasureRuns(struct Command* commands, int count, int runs, const char* inputPath,
                        double scale) {
    double* times = calloc((size_t)(count * runs), sizeof *times);
    double* cpuTimes = calloc((size_t)(count * runs), sizeof *cpuTimes);
    for (int run = 0; run < runs; ++run) {
        for (int c = 0; c < count; ++c) {
            times[c * runs + run] = TimedRun(&commands[c], inputPath, &cpuTimes[c * runs + run]);
        }
    }
    for (int c = 0; c < count; ++c) {
        printf("%d %.6f %.6f\n", c, Median(times + c * runs, (size_t)runs) * scale,
               Median(cpuTimes + c * runs, (size_t)runs) * scale);
    }
    free(times);
    free(cpuTimes);
}

static int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) {
            return -1;
        }
        data += written;
        size -= (size_t)written;
    }
    return 0;
}

static int ReadAll(int fd, char* data, size_t size) {
    while (size > 0) {
        const ssize_t got = read(fd, data, size);
        if (got <= 0) {
            return -1;
        }
        data += got;
        size -= (size_t)got;
    }
    return 0;
}

/* Reads frames until one contains the marker. */
static int AwaitAnswer(int fd, const char* marker, char** body, size_t* capacity) {
    for (;;) {
        int32_t length = 0;
        if (ReadAll(fd, (char*)&length, sizeof length) != 0 || length < 0) {
            return -1;
        }
        if ((size_t)length + 1 > *capacity) {
            *capacity = (size_t)length + 1;
            *body = realloc(*body, *capacity);
        }
        if (ReadAll(fd, *body, (size_t)length) != 0) {
            return -1;
        }
        (*body)[length] = '\0';
        if (strstr(*body, marker) != NULL) {
            return 0;
        }
    }
}

/* One session of `rounds` answered frames (after a few unmeasured ones); fills `samples`. */
static void RoundTripSession(const struct Command* command, const char* frame, size_t frameSize,
                             int rounds, double* samples) {
    const char* marker = getenv("BENCH_MARKER") ? getenv("BENCH_MARKER") : "documentComplete";
    enum { kWarmUp = 20 };
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
        Fail("pipe");
    }
    const pid_t pid = Start(command, toChild[0], fromChild[1]);
    close(toChild[0]);
    close(fromChild[1]);
    char* body = NULL;
    size_t capacity = 0;
    for (int round = -kWarmUp; round < rounds; ++round) {
        const double start = Now();
        if (WriteAll(toChild[1], frame, frameSize) != 0 ||
            AwaitAnswer(fromChild[0], marker, &body, &capacity) != 0) {
            fprintf(stderr, "bench_driver: no answer from %s\n", command->argv[0]);
            exit(1);
        }
        if (round >= 0) {
            samples[round] = Now() - start;
        }
    }
    free(body);
    close(toChild[1]);
    WaitFor(pid, NULL);
    close(fromChild[0]);
}

static void MeasureRoundTrips(struct Command* commands, int count, const char* inputPath,
                              int rounds) {
    enum { kSessions = 3 };
    char* frame = NULL;
    size_t frameSize = 0;
    ReadFile(inputPath, &frame, &frameSize);
    const int perSession = (rounds + kSessions - 1) / kSessions;
    const int total = perSession * kSessions;
    double* samples = calloc((size_t)(count * total), sizeof *samples);
    for (int session = 0; session < kSessions; ++session) {
        for (int c = 0; c < count; ++c) {
            RoundTripSession(&commands[c], frame, frameSize, perSession,
                             samples + c * total + session * perSession);
        }
    }
    for (int c = 0; c < count; ++c) {
        printf("%d %.3f\n", c, Median(samples + c * total, (size_t)total) * 1e6);
    }
    free(samples);
    free(frame);
}

/* VmHWM of a running process, in KiB; 0 when it cannot be read. */
static long HighWaterMark(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* status = fopen(path, "r");
    if (status == NULL) {
        return 0;
    }
    char line[256];
    long kib = 0;
    while (fgets(line, sizeof line, status) != NULL) {
        if (sscanf(line, "VmHWM: %ld kB", &kib) == 1) {
            break;
        }
    }
    fclose(status);
    return kib;
}

/* Feeds the input through a pipe, waits until the command has taken all of it and settled,
 * reads its high-water mark while it still waits for more, then ends its input. The figure is
 * the larger of that mark and the peak the kernel reports at exit. */
static long PeakResident(const struct Command* command, const char* inputPath) {
    int toChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
        Fail("pipe");
    }
    /* Started before anything is read: a child's peak includes what its parent held at fork. */
    const pid_t pid = Start(command, toChild[0], -1);
    close(toChild[0]);
    const int in = open(inputPath, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        Fail(inputPath);
    }
    static char chunk[64 * 1024];
    for (ssize_t got; (got = read(in, chunk, sizeof chunk)) > 0;) {
        if (WriteAll(toChild[1], chunk, (size_t)got) != 0) {
            Fail("write");
        }
    }
    close(in);
    for (int pending = 1; pending > 0;) {
        if (ioctl(toChild[1], FIONREAD, &pending) != 0) {
            Fail("ioctl");
        }
        usleep(1000);
    }
    /* Taken twice, apart, so that work still under way after the last read shows. */
    usleep(300000);
    long waiting = HighWaterMark(pid);
    usleep(300000);
    const long later = HighWaterMark(pid);
    if (later > waiting) {
        waiting = later;
    }
    close(toChild[1]);
    struct rusage usage;
    WaitFor(pid, &usage);
    return usage.ru_maxrss > waiting ? usage.ru_maxrss : waiting;
}

static void Usage(void) {
    fprintf(stderr,
            "usage: bench_driver rate INPUT RUNS | startup RUNS | roundtrip INPUT ROUNDS |"
            " peak-rss INPUT, then -- CMD... [-- CMD...]\n");
    exit(2);
}

int main(int argc, char** argv) {
    if (argc < 4) {
        Usage();
    }
    signal(SIGPIPE, SIG_IGN);
    struct Command commands[MAX_COMMANDS];
    const char* mode = argv[1];
    if (strcmp(mode, "rate") == 0 && argc > 5) {
        const int count = ParseCommands(argv + 4, commands);
        MeasureRuns(commands, count, atoi(argv[3]), argv[2], 1.0);
    } else if (strcmp(mode, "startup") == 0) {
        const int count = ParseCommands(argv + 3, commands);
        MeasureRuns(commands, count, atoi(argv[2]), "/dev/null", 1e6);
    } else if (strcmp(mode, "roundtrip") == 0 && argc > 5) {
        const int count = ParseCommands(argv + 4, commands);
        MeasureRoundTrips(commands, count, argv[2], atoi(argv[3]));
    } else if (strcmp(mode, "peak-rss") == 0) {
        const int count = ParseCommands(argv + 3, commands);
        for (int c = 0; c < count; ++c) {
            printf("%d %ld\n", c, PeakResident(&commands[c], argv[2]));
        }
    } else {
        Usage();
    }
    return 0;
}
