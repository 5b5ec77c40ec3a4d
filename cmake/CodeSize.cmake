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
# reads and writes, the hash and the progress. They are compiled for speed, at
# -O2: what the loop does per block is a few calls into the system, which
# -O3's unrolling and inlining would not make faster, only twice the size. A
# new file on that path belongs here. Named by file name, so that the list
# holds wherever in src/ the files live.
set(QVX_SPEED_SOURCES PackageDownloader HttpFile PartialFile PackageVerifier Sha256 DownloadProgress)

# Everything else in `sources` is compiled for size: it runs once per click or
# per page, where a few per cent of speed is nothing anyone waits for, and -O3
# makes it about twice the size. Debug builds keep their flags.
function(qvx_optimise_for_size)
  foreach(source IN LISTS ARGN)
    get_filename_component(stem "${source}" NAME_WE)
    if(stem IN_LIST QVX_SPEED_SOURCES)
      set(level -O2)
    else()
      set(level -Os)
    endif()
    set_property(SOURCE "${source}" APPEND PROPERTY COMPILE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:${level}>)
  endforeach()
endfunction()
