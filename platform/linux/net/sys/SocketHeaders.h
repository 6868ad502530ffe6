#pragma once
// What the portable network code needs of the system's sockets: name lookup and the
// address families.
#include <netdb.h>
#include <sys/socket.h>
