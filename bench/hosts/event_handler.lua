-- The handler of the event benchmark in Lua: Lua has no regular
-- expressions, so its own patterns make the same two tests.
function on_event(line)
   local level = line:match("^%d+%-%d+%-%d+ [%d:]+ (%u+) ")
   if level == "ERROR" or level == "WARN" then
      local user = line:match("user=(%l+)%d* action=login")
      if user then
         return #user
      end
      return 1
   end
   return 0
end
