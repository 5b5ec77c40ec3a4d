# Package trust: what a build may embed so that only the publisher's packages
# run. Both are resources of the executable (resources/resource.h):
#   QVX_PUBLISHER_KEY          PEM file with the publisher's ECDSA P-256 public key
#   QVX_PUBLISHER_CERT_SHA256  SHA-256 thumbprints of the Authenticode signer
#                              certificates a package must be signed by

# Fails the configuration unless `pem` is an ECDSA P-256 public key: a
# private key must never end up inside a shipped program, and an unusable key
# would make the program refuse every package.
function(qvx_check_publisher_key pem)
  if(NOT EXISTS "${pem}")
    message(FATAL_ERROR "QVX_PUBLISHER_KEY: no such file: ${pem}")
  endif()
  file(READ "${pem}" text)
  if(text MATCHES "PRIVATE KEY")
    message(FATAL_ERROR "QVX_PUBLISHER_KEY names a private key (${pem}); give the public half "
                        "(tools/publish-release --make-key writes both)")
  endif()
  if(NOT text MATCHES "-----BEGIN PUBLIC KEY-----")
    message(FATAL_ERROR "QVX_PUBLISHER_KEY: ${pem} is not a PEM public key")
  endif()
  find_program(QVX_OPENSSL openssl)
  if(QVX_OPENSSL)
    execute_process(COMMAND ${QVX_OPENSSL} pkey -pubin -in "${pem}" -noout -text
                    OUTPUT_VARIABLE described ERROR_QUIET RESULT_VARIABLE failed)
    if(failed OR NOT described MATCHES "(prime256v1|P-256)")
      message(FATAL_ERROR "QVX_PUBLISHER_KEY: ${pem} is not an ECDSA key on the P-256 curve")
    endif()
  endif()
endfunction()

# The thumbprints of `list` (hex, ";" or "," between them; spaces and colons
# inside are ignored) as lower-case hex separated by ";", in `out`.
function(qvx_normalise_thumbprints list out)
  string(REPLACE "," ";" list "${list}")
  set(result "")
  foreach(item IN LISTS list)
    string(REGEX REPLACE "[ \t\r\n:]" "" item "${item}")
    string(TOLOWER "${item}" item)
    if(item STREQUAL "")
      continue()
    endif()
    if(NOT item MATCHES "^[0-9a-f]+$")
      message(FATAL_ERROR "QVX_PUBLISHER_CERT_SHA256: '${item}' is not hex")
    endif()
    string(LENGTH "${item}" length)
    if(NOT length EQUAL 64)
      message(FATAL_ERROR "QVX_PUBLISHER_CERT_SHA256: '${item}' has ${length} digits, a SHA-256 has 64")
    endif()
    list(APPEND result "${item}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Embeds `key` (a PEM path) and `thumbprints` in `target`, each when not
# empty, through a small resource script of its own beside the program's.
function(qvx_embed_trust target key thumbprints)
  set(dir ${CMAKE_BINARY_DIR}/trust)
  set(script "#include \"resource.h\"\n")
  set(depends "${CMAKE_SOURCE_DIR}/resources/resource.h")
  if(NOT key STREQUAL "")
    get_filename_component(key "${key}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
    qvx_check_publisher_key("${key}")
    string(APPEND script "IDR_PUBLISHER_KEY RCDATA \"${key}\"\n")
    list(APPEND depends "${key}")
  endif()
  qvx_normalise_thumbprints("${thumbprints}" pins)
  if(pins)
    file(CONFIGURE OUTPUT ${dir}/${target}.pins CONTENT "${pins}" @ONLY)
    string(APPEND script "IDR_PINNED_SIGNERS RCDATA \"${dir}/${target}.pins\"\n")
    list(APPEND depends "${dir}/${target}.pins")
  endif()
  if(NOT key STREQUAL "" OR pins)
    file(CONFIGURE OUTPUT ${dir}/${target}.rc CONTENT "${script}" @ONLY)
    target_sources(${target} PRIVATE ${dir}/${target}.rc)
    set_source_files_properties(${dir}/${target}.rc PROPERTIES OBJECT_DEPENDS "${depends}")
  endif()
endfunction()
