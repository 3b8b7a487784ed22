/* The benchmark's plain parallel walk: THREADS threads list every folder below TOP, look up
 * every file in it, and set each folder below TOP to the newest file time in its subtree,
 * taking folders from one shared stack. It stands for the same job done on many threads
 * with nothing else to decide, on the same share.
 * usage: parallel_walk THREADS TOP */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

/* A folder listed or to be listed: it is done once it and every subfolder are. */
struct folder {
    struct folder* parent;
    char* path;
    size_t pending; /* its own listing, and each subfolder not done yet */
    struct timespec newest;
};

static pthread_mutex_t guard = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t more = PTHREAD_COND_INITIALIZER;
static struct folder** stack;
static size_t depth, capacity, busy;
static long files, written;

static void push(struct folder* folder)
{
    if (depth == capacity) {
        capacity = capacity ? capacity * 2 : 1024;
        stack = realloc(stack, capacity * sizeof *stack);
    }
    stack[depth++] = folder;
}

static int later(struct timespec a, struct timespec b)
{
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

/* One piece of `folder` is done: when it was the last, its time is written (not the top's,
 * and only when its subtree holds a file) and its parent learns of it. Called under guard. */
static void finish(struct folder* folder)
{
    while (folder && --folder->pending == 0) {
        struct folder* parent = folder->parent;
        if (parent && folder->newest.tv_sec) {
            /* In 100 ns, as Chronotree's times are. */
            struct timespec newest = {folder->newest.tv_sec, folder->newest.tv_nsec / 100 * 100};
            struct timespec times[2] = {{0, UTIME_OMIT}, newest};
            pthread_mutex_unlock(&guard);
            int set = utimensat(AT_FDCWD, folder->path, times, AT_SYMLINK_NOFOLLOW) == 0;
            pthread_mutex_lock(&guard);
            written += set;
        }
        if (parent && later(folder->newest, parent->newest))
            parent->newest = folder->newest;
        free(folder->path);
        if (parent)
            free(folder);
        folder = parent;
    }
}

static void list(struct folder* folder)
{
    DIR* listing = opendir(folder->path);
    long seen = 0;
    struct timespec newest = {0, 0};
    struct dirent* entry;
    while (listing && (entry = readdir(listing))) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        if (entry->d_type == DT_DIR) {
            struct folder* sub = calloc(1, sizeof *sub);
            sub->parent = folder;
            sub->pending = 1;
            sub->path = malloc(strlen(folder->path) + strlen(entry->d_name) + 2);
            sprintf(sub->path, "%s/%s", folder->path, entry->d_name);
            pthread_mutex_lock(&guard);
            folder->pending++;
            push(sub);
            pthread_cond_signal(&more);
            pthread_mutex_unlock(&guard);
        } else {
            struct stat found;
            if (fstatat(dirfd(listing), entry->d_name, &found, AT_SYMLINK_NOFOLLOW) == 0) {
                seen++;
                if (later(found.st_mtim, newest))
                    newest = found.st_mtim;
            }
        }
    }
    if (listing)
        closedir(listing);
    pthread_mutex_lock(&guard);
    files += seen;
    if (later(newest, folder->newest))
        folder->newest = newest;
    finish(folder);
    pthread_mutex_unlock(&guard);
}

static void* work(void* unused)
{
    (void)unused;
    pthread_mutex_lock(&guard);
    for (;;) {
        while (depth == 0 && busy > 0)
            pthread_cond_wait(&more, &guard);
        if (depth == 0)
            break;
        struct folder* folder = stack[--depth];
        busy++;
        pthread_mutex_unlock(&guard);
        list(folder);
        pthread_mutex_lock(&guard);
        busy--;
        pthread_cond_broadcast(&more);
    }
    pthread_mutex_unlock(&guard);
    return NULL;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    int count = atoi(argv[1]);
    struct folder top = {NULL, strdup(argv[2]), 1, {0, 0}};
    push(&top);
    pthread_t threads[256];
    for (int i = 0; i < count && i < 256; i++)
        pthread_create(&threads[i], NULL, work, NULL);
    for (int i = 0; i < count && i < 256; i++)
        pthread_join(threads[i], NULL);
    printf("%ld files, %ld folders set\n", files, written);
    return 0;
}
