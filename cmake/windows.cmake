# Build settings for Windows (cross-built with MinGW-w64, see mingw-w64-x86_64.cmake).
#
# Boost: every Boost library chgtune uses is headers only except Program_options. The headers are
# the build machine's Debian ones, reached through a folder that holds nothing but a `boost` link,
# so that the MinGW compiler sees no other Linux header. Program_options is compiled here from the
# source Debian ships for those headers (scripts/deps --windows fetches it and prints its folder).
set(CHGTUNE_BOOST_HEADERS /usr/include/boost CACHE PATH "Boost headers folder (Debian's)")
set(CHGTUNE_BOOST_SOURCE "" CACHE PATH
  "Boost source tree holding libs/program_options/src, matching CHGTUNE_BOOST_HEADERS")
if(NOT EXISTS ${CHGTUNE_BOOST_HEADERS}/version.hpp)
  message(FATAL_ERROR "No Boost headers in ${CHGTUNE_BOOST_HEADERS} (install libboost-dev)")
endif()
if(NOT EXISTS ${CHGTUNE_BOOST_SOURCE}/libs/program_options/src/cmdline.cpp)
  message(FATAL_ERROR "CHGTUNE_BOOST_SOURCE=\"${CHGTUNE_BOOST_SOURCE}\" holds no "
    "libs/program_options/src; scripts/deps --windows fetches Debian's Boost source")
endif()

# An imported headers-only target whose include folder holds nothing but a link named name to
# the Debian headers folder headers.
function(chgtune_linked_headers target name headers)
  set(include_folder ${CMAKE_BINARY_DIR}/${name}-include)
  file(MAKE_DIRECTORY ${include_folder})
  file(CREATE_LINK ${headers} ${include_folder}/${name} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${include_folder})
endfunction()

chgtune_linked_headers(Boost::headers boost ${CHGTUNE_BOOST_HEADERS})
# No automatic linking by #pragma: the libraries are named in the build.
set_target_properties(Boost::headers PROPERTIES INTERFACE_COMPILE_DEFINITIONS BOOST_ALL_NO_LIB)

# The JSON library (nlohmann-json3-dev) is headers only, reached the same way: a folder that holds
# nothing but a `nlohmann` link to Debian's headers.
set(CHGTUNE_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann JSON headers folder (Debian's)")
if(NOT EXISTS ${CHGTUNE_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "No JSON headers in ${CHGTUNE_JSON_HEADERS} (install nlohmann-json3-dev)")
endif()
chgtune_linked_headers(nlohmann_json::nlohmann_json nlohmann ${CHGTUNE_JSON_HEADERS})

file(GLOB program_options_sources ${CHGTUNE_BOOST_SOURCE}/libs/program_options/src/*.cpp)
add_library(boost_program_options STATIC ${program_options_sources})
target_link_libraries(boost_program_options PUBLIC Boost::headers)
# Boost's own code: its warnings are Boost's business.
target_compile_options(boost_program_options PRIVATE -w)
add_library(Boost::program_options ALIAS boost_program_options)

# expat, for reading XML: compiled here as a static library from the source Debian ships for the
# installed libexpat1-dev, with Debian's patches applied (scripts/deps --windows fetches it).
set(CHGTUNE_EXPAT_SOURCE "" CACHE PATH "expat source tree holding lib/xmlparse.c (Debian's)")
if(NOT EXISTS ${CHGTUNE_EXPAT_SOURCE}/lib/xmlparse.c)
  message(FATAL_ERROR "CHGTUNE_EXPAT_SOURCE=\"${CHGTUNE_EXPAT_SOURCE}\" holds no lib/xmlparse.c; "
    "scripts/deps --windows fetches Debian's expat source")
endif()
enable_language(C)
# What expat's own build would write into expat_config.h for Windows on x86-64: little-endian,
# namespaces and document type declarations as in Debian's library (chgtune itself refuses
# documents with a declaration).
set(expat_config_folder ${CMAKE_BINARY_DIR}/expat-config)
file(WRITE ${expat_config_folder}/expat_config.h
  "#define BYTEORDER 1234\n#define XML_CONTEXT_BYTES 1024\n#define XML_DTD 1\n#define XML_NS 1\n")
add_library(expat STATIC ${CHGTUNE_EXPAT_SOURCE}/lib/xmlparse.c
  ${CHGTUNE_EXPAT_SOURCE}/lib/xmlrole.c ${CHGTUNE_EXPAT_SOURCE}/lib/xmltok.c)
target_include_directories(expat PUBLIC ${CHGTUNE_EXPAT_SOURCE}/lib PRIVATE ${expat_config_folder})
# Linked into the program: no DLL, no import declarations.
target_compile_definitions(expat PUBLIC XML_STATIC)
# expat's own code: its warnings are expat's business.
target_compile_options(expat PRIVATE -w)
add_library(expat::expat ALIAS expat)

# libmosquitto, the MQTT client library of the publisher (publish/): compiled here as a static
# library from the source Debian ships for the installed libmosquitto-dev, with Debian's patches
# applied (scripts/deps --windows fetches it). Threaded on MinGW's winpthreads, as Debian's is on
# Linux's threads. Without TLS: Debian has no OpenSSL for MinGW, and building one is out of
# proportion, so mqtts:// says it is not in this build. Nor SOCKS proxies or SRV look-ups, which
# chgtune does not use.
set(CHGTUNE_MOSQUITTO_SOURCE "" CACHE PATH "mosquitto source tree holding lib/mosquitto.c (Debian's)")
if(NOT EXISTS ${CHGTUNE_MOSQUITTO_SOURCE}/lib/mosquitto.c)
  message(FATAL_ERROR "CHGTUNE_MOSQUITTO_SOURCE=\"${CHGTUNE_MOSQUITTO_SOURCE}\" holds no "
    "lib/mosquitto.c; scripts/deps --windows fetches Debian's mosquitto source")
endif()
# The client library's sources, as its lib/CMakeLists.txt lists them (the C++ wrapper in lib/cpp
# is not used).
set(mosquitto_sources actions callbacks connect handle_auth handle_connack handle_disconnect
  handle_ping handle_pubackcomp handle_publish handle_pubrec handle_pubrel handle_suback
  handle_unsuback helpers logging_mosq loop memory_mosq messages_mosq misc_mosq mosquitto
  net_mosq_ocsp net_mosq options packet_datatypes packet_mosq property_mosq read_handle
  send_connect send_disconnect send_mosq send_publish send_subscribe send_unsubscribe socks_mosq
  srv_mosq strings_mosq thread_mosq time_mosq tls_mosq utf8_mosq util_mosq util_topic will_mosq)
list(TRANSFORM mosquitto_sources PREPEND ${CHGTUNE_MOSQUITTO_SOURCE}/lib/)
list(TRANSFORM mosquitto_sources APPEND .c)
add_library(mosquitto STATIC ${mosquitto_sources})
target_include_directories(mosquitto PUBLIC ${CHGTUNE_MOSQUITTO_SOURCE}/include
  PRIVATE ${CHGTUNE_MOSQUITTO_SOURCE} ${CHGTUNE_MOSQUITTO_SOURCE}/lib
  ${CHGTUNE_MOSQUITTO_SOURCE}/deps)
# Linked into the program: no DLL, no import declarations.
target_compile_definitions(mosquitto PUBLIC LIBMOSQUITTO_STATIC PRIVATE WITH_THREADING)
# libmosquitto's own code: its warnings are its business. Its client ids come from the Windows
# crypto API, which <windows.h> leaves out with WIN32_LEAN_AND_MEAN (set for every file below).
target_compile_options(mosquitto PRIVATE -w "SHELL:-include windows.h" "SHELL:-include wincrypt.h")
target_link_libraries(mosquitto PUBLIC Threads::Threads ws2_32 advapi32)
add_library(Mosquitto::mosquitto ALIAS mosquitto)

# Windows 7 and later. Without NOMINMAX, <windows.h> (which Asio includes) defines min and max as
# macros and breaks std::numeric_limits<...>::max() in every file that sees it.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
# <windows.h> defines a few macros under names the program uses itself; every file gets it first,
# with those taken back (platform/windows_prelude.h), so the portable code needs no Windows care.
add_compile_options(-include ${CMAKE_SOURCE_DIR}/platform/windows_prelude.h)
# One file to hand over: the C and C++ runtimes and winpthreads are linked into the exe, so no DLL
# has to sit beside it; only Windows' own DLLs are imported.
add_link_options(-static)
# Asio's I/O loop on Windows is built on Winsock, even for a serial port.
set(CHGTUNE_PLATFORM_LIBRARIES ws2_32 mswsock)
