# Signs the installed binaries when a code-signing certificate is given, at install time (so the
# package holds the signed files):
#   COMPANIONS_SIGNING_PFX       the PKCS #12 file with the certificate and its private key
#   COMPANIONS_SIGNING_PASSWORD  its password (may be empty)
#   COMPANIONS_SIGNING_TIMESTAMP_URL  an RFC 3161 timestamp server (optional): a signature that
#                                carries its timestamp keeps verifying after the certificate expires
# Without a certificate the binaries stay unsigned, and the install says so.
# Called from an install(CODE) rule with SIGN_DIR (where the binaries are), SIGN_FILES (their names),
# OSSLSIGNCODE and SIGN_DESCRIPTION set.

if("$ENV{COMPANIONS_SIGNING_PFX}" STREQUAL "")
  list(POP_BACK SIGN_FILES last)
  string(REPLACE ";" ", " names "${SIGN_FILES}")
  set(names "${names} and ${last}")
  message(STATUS "Not signing ${names}: COMPANIONS_SIGNING_PFX is not set, so they ship unsigned")
  return()
endif()
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "COMPANIONS_SIGNING_PFX is set but osslsigncode was not found")
endif()
set(pfx "$ENV{COMPANIONS_SIGNING_PFX}")
if(NOT EXISTS "${pfx}")
  message(FATAL_ERROR "COMPANIONS_SIGNING_PFX names ${pfx}, which does not exist")
endif()

# The password goes to osslsigncode in a private file, not on its command line, and that file lives
# in a folder of the system's temporary tree: never in the install tree, which CPack zips, so a
# killed or failed step cannot leave it in a package.
set(temp_root "$ENV{TMPDIR}")
if(temp_root STREQUAL "")
  set(temp_root "$ENV{TEMP}")
endif()
if(temp_root STREQUAL "")
  set(temp_root "/tmp")
endif()
string(RANDOM LENGTH 16 token)
set(password_dir "${temp_root}/companions-signing-${token}")
if(EXISTS "${password_dir}")
  message(FATAL_ERROR "Signing: ${password_dir} exists already")
endif()
file(MAKE_DIRECTORY "${password_dir}")
file(CHMOD "${password_dir}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(password_file "${password_dir}/password")
file(WRITE "${password_file}" "$ENV{COMPANIONS_SIGNING_PASSWORD}")

set(timestamp)
set(timestamp_note "without a timestamp")
if(NOT "$ENV{COMPANIONS_SIGNING_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{COMPANIONS_SIGNING_TIMESTAMP_URL}")
  set(timestamp_note "timestamped by $ENV{COMPANIONS_SIGNING_TIMESTAMP_URL}")
endif()

foreach(name IN LISTS SIGN_FILES)
  set(file "${SIGN_DIR}/${name}")
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${pfx}" -readpass "${password_file}" -h sha256
            -n "${SIGN_DESCRIPTION}" ${timestamp} -in "${file}" -out "${file}.signed"
    RESULT_VARIABLE signed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT signed EQUAL 0)
    file(REMOVE_RECURSE "${password_dir}")
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "Signing ${name} ${timestamp_note} failed:\n${output}")
  endif()
  file(RENAME "${file}.signed" "${file}")
  message(STATUS "Signed ${name} ${timestamp_note}")
endforeach()
file(REMOVE_RECURSE "${password_dir}")
