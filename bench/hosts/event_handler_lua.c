/* The event benchmark's host in C with Lua 5.4: loads the handler once,
 * then calls it with lua_pcall for every generated log line.  Prints what
 * orva_bench_event_handler prints.
 *
 *     orva_bench_event_handler_lua HANDLER.lua [EVENTS]
 */
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include "event_lines.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double Seconds(void)
{
   struct timespec now;
   clock_gettime(CLOCK_MONOTONIC, &now);
   return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
   if (argc < 2 || argc > 3)
   {
      fprintf(stderr, "usage: orva_bench_event_handler_lua HANDLER.lua [EVENTS]\n");
      return 2;
   }
   const long events = (argc == 3) ? atol(argv[2]) : 300000;
   lua_State *L = luaL_newstate();
   luaL_openlibs(L);
   if (luaL_dofile(L, argv[1]) != LUA_OK)
   {
      fprintf(stderr, "%s\n", lua_tostring(L, -1));
      return 1;
   }
   char *lines = malloc((size_t)(events > 0 ? events : 1) * EVENT_LINE_MAX);
   int *lengths = malloc((size_t)(events > 0 ? events : 1) * sizeof(int));
   if (lines == NULL || lengths == NULL)
      return 1;
   for (long i = 0; i < events; i++)
      lengths[i] = EventLine(i, lines + i * EVENT_LINE_MAX);

   long sum = 0;
   const double start = Seconds();
   for (long i = 0; i < events; i++)
   {
      lua_getglobal(L, "on_event");
      lua_pushlstring(L, lines + i * EVENT_LINE_MAX, (size_t)lengths[i]);
      if (lua_pcall(L, 1, 1, 0) != LUA_OK)
      {
         fprintf(stderr, "%s\n", lua_tostring(L, -1));
         return 1;
      }
      sum += (long)lua_tointeger(L, -1);
      lua_pop(L, 1);
   }
   const double elapsed = Seconds() - start;
   printf("sum %ld\n", sum);
   printf("us_per_event %.3f\n", events > 0 ? elapsed * 1e6 / (double)events : 0.0);
   free(lines);
   free(lengths);
   lua_close(L);
   return 0;
}
