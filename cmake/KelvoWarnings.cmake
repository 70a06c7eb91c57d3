# SPDX-License-Identifier: MIT
# kelvo_warnings(target): the project's warning set, errors when KELVO_WERROR.
function(kelvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KELVO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
