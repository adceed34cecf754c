# Profile-guided optimisation of the library (GCC Release builds, ZORVEX_PGO).
#
# A second build of this tree in profile-training/ (the library and the
# training run only, built by the same make) compiles the library with
# -fprofile-generate and runs bench/ProfileTraining.cpp on it; the library here
# is then compiled with the profile. The training runs again only when its
# build changed, and then every object that uses the profile is rebuilt.
# -fprofile-prefix-path makes the profile's file names relative to each build's
# root, so the two builds' objects find each other's counts.
include(ExternalProject)

set(ZORVEX_PROFILE_DIR ${CMAKE_BINARY_DIR}/profile)
set(trainingDir ${CMAKE_BINARY_DIR}/profile-training)
set(trainer ${trainingDir}/profile_training)

ExternalProject_Add(profile_training_build
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${trainingDir}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZORVEX_PGO=OFF -DZORVEX_TESTS=OFF -DZORVEX_BENCH=OFF
             -DZORVEX_TRAINING=ON -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
             "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -fprofile-generate=${ZORVEX_PROFILE_DIR} -fprofile-update=single -fprofile-prefix-path=${trainingDir}"
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${trainer})

add_custom_command(OUTPUT ${ZORVEX_PROFILE_DIR}/trained
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZORVEX_PROFILE_DIR}
  COMMAND ${trainer} ${trainingDir}/tunes
  COMMAND ${CMAKE_COMMAND} -E touch ${ZORVEX_PROFILE_DIR}/trained
  DEPENDS ${trainer} profile_training_build
  COMMENT "Training run for the profile-guided build")
add_custom_target(profile_trained DEPENDS ${ZORVEX_PROFILE_DIR}/trained)

# Compiles target's sources (in the calling directory) with the profile.
# Code the training never reached is optimised as without one.
function(zorvex_use_profile target)
  target_compile_options(${target} PRIVATE -fprofile-use=${ZORVEX_PROFILE_DIR}
                         -fprofile-prefix-path=${CMAKE_BINARY_DIR} -fprofile-partial-training -Wno-missing-profile)
  add_dependencies(${target} profile_trained)
  get_target_property(sources ${target} SOURCES)
  set_source_files_properties(${sources} PROPERTIES OBJECT_DEPENDS ${ZORVEX_PROFILE_DIR}/trained)
endfunction()
