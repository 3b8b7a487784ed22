/* The benchmark's plain parallel walk: THREADS threads list every folder below TOP and look
 * up every file in it, taking folders from one shared stack; nothing is written. It stands
 * for what a parallel file finder costs on the same share.
 * usage: parallel_walk THREADS TOP */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static pthread_mutex_t guard = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t more = PTHREAD_COND_INITIALIZER;
static char** stack;
static size_t depth, capacity, busy;
static long files;

static void push(char* path)
{
    if (depth == capacity) {
        capacity = capacity ? capacity * 2 : 1024;
        stack = realloc(stack, capacity * sizeof *stack);
    }
    stack[depth++] = path;
}

static void list(char* path)
{
    DIR* folder = opendir(path);
    long seen = 0;
    struct dirent* entry;
    while (folder && (entry = readdir(folder))) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        if (entry->d_type == DT_DIR) {
            char* sub = malloc(strlen(path) + strlen(entry->d_name) + 2);
            sprintf(sub, "%s/%s", path, entry->d_name);
            pthread_mutex_lock(&guard);
            push(sub);
            pthread_cond_signal(&more);
            pthread_mutex_unlock(&guard);
        } else {
            struct stat found;
            seen += fstatat(dirfd(folder), entry->d_name, &found, AT_SYMLINK_NOFOLLOW) == 0;
        }
    }
    if (folder)
        closedir(folder);
    free(path);
    pthread_mutex_lock(&guard);
    files += seen;
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
        char* path = stack[--depth];
        busy++;
        pthread_mutex_unlock(&guard);
        list(path);
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
    push(strdup(argv[2]));
    pthread_t threads[256];
    for (int i = 0; i < count && i < 256; i++)
        pthread_create(&threads[i], NULL, work, NULL);
    for (int i = 0; i < count && i < 256; i++)
        pthread_join(threads[i], NULL);
    printf("%ld\n", files);
    return 0;
}
