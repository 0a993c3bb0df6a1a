#error "pwd.h is a POSIX header: the shared code must not use it"
