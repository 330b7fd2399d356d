# Installs the desktop entry with Exec set to the launcher's installed path;
# run by the install (see CMakeLists.txt), which sets
#   entry_source      the entry, whose Exec runs quillet-launch by name
#   entry_folder      a folder of the build tree to write the installed entry in
#   bin_dir           the programs' folder, relative to the prefix or absolute
#   applications_dir  the desktop entries' folder, the same
# A path with characters the entry's Exec gives a meaning (a space, a quote,
# a backslash, $, `, %) is quoted and escaped as desktop entries want it.
function(installed_path dir result)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  # a prefix given relative is taken from the folder the install runs in, as the install does
  get_filename_component(dir "${dir}" ABSOLUTE)
  set(${result} "${dir}" PARENT_SCOPE)
endfunction()

installed_path("${bin_dir}" bin)
installed_path("${applications_dir}" applications)
set(exec "${bin}/quillet-launch")
if(exec MATCHES "[\n\r\t]")
  message(FATAL_ERROR "The desktop entry cannot run a program in ${bin}: its path holds a line break or a tab")
endif()
string(REPLACE "%" "%%" exec "${exec}")
if(NOT exec MATCHES "^[A-Za-z0-9/._+%-]+$")
  # inside quotes " ` $ \ take a backslash, and a backslash of the entry's
  # text is written twice
  string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
  foreach(c "\"" "`" "$")
    string(REPLACE "${c}" "\\\\${c}" exec "${exec}")
  endforeach()
  set(exec "\"${exec}\"")
endif()

file(READ "${entry_source}" entry)
string(FIND "${entry}" "\nExec=quillet-launch\n" at)
if(at LESS 0)
  message(FATAL_ERROR "${entry_source} has no line Exec=quillet-launch")
endif()
string(REPLACE "\nExec=quillet-launch\n" "\nExec=${exec}\n" entry "${entry}")
# one folder for each place installed into: installs into two prefixes at once
# write no file the other installs
string(MD5 place "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
get_filename_component(name "${entry_source}" NAME)
file(WRITE "${entry_folder}/${place}/${name}" "${entry}")
file(INSTALL DESTINATION "${applications}" TYPE FILE FILES "${entry_folder}/${place}/${name}")
