/* A library named like one talvik-stmap loads: loaded, it leaves a file
   named decoy-loaded in the current folder. */
#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void leave_mark(void) {
    int fd = open("decoy-loaded", O_WRONLY | O_CREAT, 0644);
    if (fd >= 0) close(fd);
}
