# cmake -DBUILD_DIR=... -DCONSUMER_DIR=... -DWORK_DIR=... -P ConsumePackage.cmake
# Installs the build into a scratch prefix and builds the consumer against it in C++17 and C++20,
# through the CMake package and through pkg-config, then runs each program with nothing but what
# the README tells a user to do.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
unset(ENV{LD_LIBRARY_PATH})

foreach(standard 17 20)
    # Through the CMake package. The libraries' private dependencies (glog, OpenSSL) are not the
    # consumer's business: the package must be found without them.
    set(build ${WORK_DIR}/cmake-build-${standard})
    run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${build} -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
        -DCMAKE_CXX_STANDARD=${standard} -DCMAKE_DISABLE_FIND_PACKAGE_glog=ON
        -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON)
    run(${CMAKE_COMMAND} --build ${build})
    run(${build}/consumer)

    # Through pkg-config, with the README's line.
    set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
    execute_process(COMMAND pkg-config --cflags --libs zelio OUTPUT_VARIABLE flags RESULT_VARIABLE status
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND pkg-config --variable=libdir zelio OUTPUT_VARIABLE libdir
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "pkg-config does not know zelio")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(program ${WORK_DIR}/pkg-consumer-${standard})
    run(c++ -std=c++${standard} ${CONSUMER_DIR}/main.cpp ${flags} -Wl,-rpath,${libdir} -o ${program})
    run(${program})
endforeach()
