/*
 * The generated log lines the event-handler hosts feed their handlers: the
 * same text for the same number in every host, C and C++ alike, and in
 * event_handler.py, which spells the same arithmetic in Python.
 */
#ifndef ORVA_BENCH_EVENT_LINES_H
#define ORVA_BENCH_EVENT_LINES_H

#include <stdio.h>

#define EVENT_LINE_MAX 128

/* Line i into buffer (EVENT_LINE_MAX bytes); its length. */
static int EventLine(long i, char *buffer)
{
   static const char *const levels[] = {"INFO", "ERROR", "WARN", "DEBUG"};
   static const char *const users[] = {"alice", "bob", "carol", "dave", "erin", "frank"};
   static const char *const actions[] = {"login", "read", "logout"};
   /* One line in eleven is not a log line at all, so the first test fails too. */
   return snprintf(buffer, EVENT_LINE_MAX, "%s2026-12-%02ld %02ld:%02ld:%02ld %s user=%s%ld action=%s bytes=%ld",
                   (i % 11 == 0) ? "# " : "", 1 + i % 28, i % 24, (i * 7) % 60, (i * 13) % 60, levels[(i * 3) % 4],
                   users[(i * 5) % 6], i % 97, actions[i % 3], (i * 7919) % 100000);
}

#endif
