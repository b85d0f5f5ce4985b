// POSIX-only: what the user-interface thread does while it waits in platWaitForWake.
#pragma once

// A front end whose other threads hand it requests (message boxes raised by
// the worker) sets a service routine here. Every platWaitForWake on the
// user-interface thread runs it before it sleeps, and the request's sender
// calls platWakeWaiters, so a thread that waits for the worker still serves
// the worker's requests and the two never wait for each other.
void posixSetUiWaitService(void (*service)());
