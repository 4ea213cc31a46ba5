# Every third-party library comes from the system (Debian's -dev packages).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(spdlog REQUIRED)
find_package(fmt REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(glm REQUIRED)
find_package(Freetype REQUIRED)
find_package(SQLiteCpp REQUIRED)
find_package(assimp REQUIRED)
# glTF reader: Draco and meshoptimizer decompression (WebP textures through the image codecs below).
find_package(draco REQUIRED)
find_package(meshoptimizer REQUIRED)
find_package(simdjson REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
# Image decoding of untrusted bytes: the reference codecs (libpng-dev, libjpeg62-turbo-dev, libwebp-dev).
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(LIBWEBP REQUIRED IMPORTED_TARGET libwebp)
find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb REQUIRED)
find_package(OpenCV REQUIRED COMPONENTS core imgproc aruco calib3d videoio)

# Dependencies that appear in public headers must be found again by consumers (see the package config).
function(vantrel_link_dependencies target)
  target_link_libraries(${target}
    PUBLIC
      Threads::Threads
      nlohmann_json::nlohmann_json
      glm::glm
    PRIVATE
      spdlog::spdlog
      fmt::fmt
      CURL::libcurl
      OpenSSL::SSL OpenSSL::Crypto
      Boost::boost
      Freetype::Freetype
      SQLiteCpp
      draco::draco
      meshoptimizer::meshoptimizer
      $<LINK_ONLY:simdjson::simdjson>  # its compile settings go to the one file that uses it
      PkgConfig::LIBZIP
      # Their headers are in the default include path (png.h links to libpng16/png.h), so the
      # other sources keep their compile commands.
      $<LINK_ONLY:PkgConfig::LIBPNG> $<LINK_ONLY:PkgConfig::LIBJPEG> $<LINK_ONLY:PkgConfig::LIBWEBP>)
  target_include_directories(${target} SYSTEM PRIVATE ${STB_INCLUDE_DIR})
  vantrel_link_render_dependencies(${target})
  # AR marker tracking: ArUco boards over camera or video frames (Debian libopencv-contrib-dev).
  # Only the marker session and its helpers see OpenCV's headers, so every other source keeps its
  # compile command.
  foreach(library IN LISTS OpenCV_LIBS)
    target_link_libraries(${target} PRIVATE $<LINK_ONLY:${library}>)
  endforeach()
  list(TRANSFORM OpenCV_INCLUDE_DIRS PREPEND "-isystem;" OUTPUT_VARIABLE opencv_includes)
  file(GLOB opencv_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/adapters/ar/markers/*.cpp)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/src/adapters/ar/ARMarkerSession.cpp ${opencv_sources}
    PROPERTIES COMPILE_OPTIONS "${opencv_includes}")
endfunction()

# Rendering: EGL (offscreen, surfaceless) and GLFW (windows). GL functions are loaded at run time
# through eglGetProcAddress / glfwGetProcAddress, so only the GL headers are needed, not libGL.
find_package(OpenGL REQUIRED COMPONENTS EGL)
find_package(glfw3 3.3 REQUIRED)
function(vantrel_link_render_dependencies target)
  target_link_libraries(${target} PRIVATE OpenGL::EGL glfw)
endfunction()
