# The Nodes-menu line the nuke component adds to menu.py, and how a menu.py
# reads without it; shared by install_nuke_menu.cmake and uninstall_nuke.cmake.
# The text is handled as one string, never as a CMake list: a line of Python
# may hold ';' or '[' that a list would split or join.
set(TALVIK_MENU_ENTRY "nuke.menu('Nodes').addCommand('Transform/TalvikDistort', lambda: nuke.createNode('TalvikDistort'))")

# talvik_menu_without_entry(<text> <out-text> <out-count>): <text> without
# every line that is exactly the entry; <out-count> says how many there were.
function(talvik_menu_without_entry text out_text out_count)
  # Framed by newlines, a whole line is "\n<entry>\n".
  set(framed "\n${text}\n")
  string(LENGTH "${TALVIK_MENU_ENTRY}" entry_length)
  set(count 0)
  string(FIND "${framed}" "\n${TALVIK_MENU_ENTRY}\n" at)
  while(NOT at EQUAL -1)
    # Drop the newline before the entry and the entry; keep the one after.
    string(SUBSTRING "${framed}" 0 ${at} head)
    math(EXPR after "${at} + 1 + ${entry_length}")
    string(SUBSTRING "${framed}" ${after} -1 tail)
    set(framed "${head}${tail}")
    math(EXPR count "${count} + 1")
    string(FIND "${framed}" "\n${TALVIK_MENU_ENTRY}\n" at)
  endwhile()
  string(LENGTH "${framed}" length)
  math(EXPR length "${length} - 2")
  string(SUBSTRING "${framed}" 1 ${length} text)
  set(${out_text} "${text}" PARENT_SCOPE)
  set(${out_count} ${count} PARENT_SCOPE)
endfunction()
