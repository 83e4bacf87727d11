# The version the release carries, from the repository (scripts/version.sh): SOURCE_VERSION, the
# text ("1.1.0", "1.1.0-3-g0123456789ab", "1.0.0-g0123456789ab-dirty"), SOURCE_COMMIT, the full
# commit id, and SOURCE_VERSION_MAJOR/MINOR/PATCH/BUILD, the numbers of a Windows FILEVERSION
# (BUILD: the commits since the tag, 0 where there is none).
execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/version.sh
                OUTPUT_VARIABLE version_line OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE version_status)
if(NOT version_status EQUAL 0 OR NOT version_line MATCHES "^([^ ]+) ([^ ]+)$")
  message(FATAL_ERROR "scripts/version.sh gave no version: \"${version_line}\"")
endif()
set(SOURCE_VERSION ${CMAKE_MATCH_1})
set(SOURCE_COMMIT ${CMAKE_MATCH_2})
if(NOT SOURCE_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(-([0-9]+)-g)?")
  message(FATAL_ERROR "The version \"${SOURCE_VERSION}\" does not start with MAJOR.MINOR.PATCH")
endif()
set(SOURCE_VERSION_MAJOR ${CMAKE_MATCH_1})
set(SOURCE_VERSION_MINOR ${CMAKE_MATCH_2})
set(SOURCE_VERSION_PATCH ${CMAKE_MATCH_3})
set(SOURCE_VERSION_BUILD 0)
if(CMAKE_MATCH_5)
  set(SOURCE_VERSION_BUILD ${CMAKE_MATCH_5})
endif()
message(STATUS "Version ${SOURCE_VERSION}, commit ${SOURCE_COMMIT}")

# Configure again when HEAD moves (a commit, a checkout) or a tag is made, so that a build names
# its commit. Changes not yet committed ("-dirty") are seen at the next configure only;
# scripts/release.sh configures before it packs.
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-parse --git-path HEAD --git-common-dir
                OUTPUT_VARIABLE git_paths OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE git_status ERROR_QUIET)
if(git_status EQUAL 0)
  string(REPLACE "\n" ";" git_paths "${git_paths}")
  list(GET git_paths 0 git_head)
  list(GET git_paths 1 git_common)
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} symbolic-ref -q HEAD
                  OUTPUT_VARIABLE git_branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(watched ${git_head} ${git_common}/packed-refs ${git_common}/refs/tags)
  if(git_branch)
    list(APPEND watched ${git_common}/${git_branch})
  endif()
  foreach(path IN LISTS watched)
    if(NOT IS_ABSOLUTE ${path})
      set(path ${PROJECT_SOURCE_DIR}/${path})
    endif()
    if(EXISTS ${path})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    endif()
  endforeach()
endif()
