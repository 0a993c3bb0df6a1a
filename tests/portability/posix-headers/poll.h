#error "poll.h is a POSIX header: the shared code must not use it"
