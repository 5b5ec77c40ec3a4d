# Size of the shipped exe (bench/README.md has the figures).
#
# Every function and datum of ours goes into a section of its own, so that the
# linker can drop what nothing reaches. (What it can drop is limited: the
# unwind tables keep every function they describe.)
function(qvx_collect_unused_sections target)
  target_compile_options(${target} INTERFACE -ffunction-sections -fdata-sections)
  target_link_options(${target} INTERFACE -Wl,--gc-sections)
endfunction()

# The sources that run for every block of a download: the transfer loop, the
# reads and writes, the hash and the progress. They keep the build type's
# optimisation; a new file on that path belongs here. Named by file name, so
# that the list holds wherever in src/ the files live.
set(QVX_SPEED_SOURCES PackageDownloader HttpFile PartialFile PackageVerifier Sha256 DownloadProgress)

# Everything else in `sources` is compiled for size: it runs once per click or
# per page, where a few per cent of speed is nothing anyone waits for, and -O3
# makes it about twice the size. Debug builds keep their flags.
function(qvx_optimise_for_size)
  foreach(source IN LISTS ARGN)
    get_filename_component(stem "${source}" NAME_WE)
    if(NOT stem IN_LIST QVX_SPEED_SOURCES)
      set_property(SOURCE "${source}" APPEND PROPERTY COMPILE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:-Os>)
    endif()
  endforeach()
endfunction()
