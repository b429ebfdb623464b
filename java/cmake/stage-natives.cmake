# Copies the native libraries that the jar bundles into NATIVES/<folder>/,
# each only if it exists, and removes a staged one whose source has gone.
# STAMP is touched only when something changed, so that the jar is rebuilt
# exactly when a library appears, changes or disappears (the i686 and the
# Windows libraries come from other build trees).
#   cmake -DNATIVES=dir -DSTAMP=file -DLINUX_X86_64=f -DLINUX_X86=f -DWINDOWS_X86=f -P this
set(changed FALSE)
foreach(entry "linux-x86-64/libhwGateK.so=${LINUX_X86_64}"
              "linux-x86/libhwGateK.so=${LINUX_X86}"
              "windows-x86/hwGateK.dll=${WINDOWS_X86}")
  string(FIND "${entry}" "=" at)
  string(SUBSTRING "${entry}" 0 ${at} name)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${entry}" ${at} -1 source)
  set(staged "${NATIVES}/${name}")
  if(EXISTS "${source}")
    if(NOT EXISTS "${staged}")
      set(changed TRUE)
    else()
      file(SHA256 "${source}" new)
      file(SHA256 "${staged}" old)
      if(NOT new STREQUAL old)
        set(changed TRUE)
      endif()
    endif()
    get_filename_component(folder "${staged}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${source}" "${staged}" ONLY_IF_DIFFERENT)
  elseif(EXISTS "${staged}")
    file(REMOVE "${staged}")
    get_filename_component(folder "${staged}" DIRECTORY)
    file(REMOVE_RECURSE "${folder}")  # holds nothing else
    set(changed TRUE)
  endif()
endforeach()
if(changed OR NOT EXISTS "${STAMP}")
  file(TOUCH "${STAMP}")
endif()
