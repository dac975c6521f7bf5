/*
 * Preloaded into 32-bit Wine processes that run under qemu-i386 user-mode
 * emulation (scripts/test): gives mmap with MAP_FIXED_NOREPLACE the kernel's
 * meaning there.
 *
 * The emulator takes that flag as a mere hint and maps elsewhere when the
 * address is taken. At start-up Wine reserves the address space it wants
 * with that flag and, seeing a mapping land elsewhere, keeps it and splits
 * the rest down to 64 KiB pieces: some 65,000 emulated mmap calls and about a
 * minute of processor time for every process. Failing the call with EEXIST
 * instead, as the kernel does, brings a start back to a second or two.
 *
 * Built without the C library's headers (none for i386 may be installed),
 * against the i386 libc.so.6 that 32-bit Wine needs anyway.
 */
typedef unsigned int size_t;
typedef long long off64_t;

#define MAP_FAILED ((void*)-1)
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
#define SYS_munmap 91
#define SYS_mmap2 192

extern long syscall(long number, ...);
extern int* __errno_location(void);
extern int unsetenv(const char* name);

static void* Map(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
    if (offset & 0xfff) {
        *__errno_location() = EINVAL;
        return MAP_FAILED;
    }
    void* got = (void*)syscall(SYS_mmap2, address, length, protection, flags, fd, (unsigned long)(offset >> 12));
    if ((flags & MAP_FIXED_NOREPLACE) && got != MAP_FAILED && got != address) {
        syscall(SYS_munmap, got, length);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return got;
}

__attribute__((visibility("default"))) void* mmap(void* address, size_t length, int protection, int flags, int fd,
                                                  long offset) {
    return Map(address, length, protection, flags, fd, offset);
}

__attribute__((visibility("default"))) void* mmap64(void* address, size_t length, int protection, int flags, int fd,
                                                    off64_t offset) {
    return Map(address, length, protection, flags, fd, offset);
}

/* The emulator adds LD_PRELOAD to each 32-bit process it starts; 64-bit
 * programs those start (wine64's, the wineserver) must not inherit it, nor
 * the Windows programs' environment show it. */
__attribute__((constructor)) static void ForgetPreload(void) {
    unsetenv("LD_PRELOAD");
}
