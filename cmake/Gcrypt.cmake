# libgcrypt, which checks the signatures of firmware bundles (Ed25519, BLAKE2b, SHA-256):
# Debian's libgcrypt20-dev natively, libgcrypt-mingw-w64-dev for Windows. Provides the
# imported target Gcrypt::Gcrypt and, for Windows, TQ8_GCRYPT_DLLS: the DLLs that ship beside
# the programs and that wine needs beside every test program.
find_path(TQ8_GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
find_library(TQ8_GCRYPT_LIBRARY NAMES gcrypt REQUIRED)
find_library(TQ8_GPG_ERROR_LIBRARY NAMES gpg-error REQUIRED)

add_library(Gcrypt::Gcrypt INTERFACE IMPORTED)
target_include_directories(Gcrypt::Gcrypt INTERFACE ${TQ8_GCRYPT_INCLUDE_DIR})
target_link_libraries(Gcrypt::Gcrypt INTERFACE ${TQ8_GCRYPT_LIBRARY} ${TQ8_GPG_ERROR_LIBRARY})

set(TQ8_GCRYPT_DLLS "")
if(WIN32)
  foreach(dll libgcrypt-20.dll libgpg-error-0.dll)
    find_file(TQ8_DLL_${dll} ${dll} PATH_SUFFIXES bin REQUIRED)
    list(APPEND TQ8_GCRYPT_DLLS ${TQ8_DLL_${dll}})
  endforeach()
endif()
