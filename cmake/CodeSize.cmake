# Size of the shipped exe (bench/README.md has the figures).
#
# Every function and datum of ours goes into a section of its own, so that the
# linker can drop what nothing reaches. (What it can drop is limited: the
# unwind tables keep every function they describe.)
function(qvx_collect_unused_sections target)
  target_compile_options(${target} INTERFACE -ffunction-sections -fdata-sections)
  target_link_options(${target} INTERFACE -Wl,--gc-sections)
endfunction()

# The thin routines a download calls for every block: the read (and its wait
# for the first bytes), the write (and its count of the bytes held), the
# hash's feed and the progress. They are compiled for speed, at -O2 (-O3's
# unrolling and inlining would not make a few calls into the system faster,
# only larger); a new routine on that path belongs here. Named by file name, so
# that the list holds wherever in src/ the files live. The transfer loop's own
# file (PackageDownloader) and the checks (PackageVerifier) are mostly per-try
# logic and log text, compiled for size: side by side on 1 GiB downloads the
# two builds' medians were 92.7 and 96.0 MiB/s (-O2 and -Os), the time being
# in WinINet, the file system and the platform's hash (bench/README.md).
set(QVX_SPEED_SOURCES HttpFile InternetCompletion PartialFile HeldBytes Sha256 Sha256Pipeline DownloadProgress)

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
    set_property(SOURCE "${source}" APPEND PROPERTY COMPILE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:${level}> -fno-rtti)
  endforeach()
endfunction()
