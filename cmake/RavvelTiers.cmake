# One SIMD source, compiled once per instruction-set tier.
#
# ravvel_add_tiered_sources(<target> <source>...) adds, for every source, five
# translation units to <target>: each defines RAVVEL_BUILD_TIER_<TIER> and is compiled
# with that tier's flags only. FMA is never enabled: a fused multiply-add would
# round differently from the reference kernels.
set(RAVVEL_TIERS SSE2 SSSE3 SSE4 AVX AVX2)
set(RAVVEL_TIER_FLAGS_SSE2  -msse2)
set(RAVVEL_TIER_FLAGS_SSSE3 -mssse3)
set(RAVVEL_TIER_FLAGS_SSE4  -msse4.2)
set(RAVVEL_TIER_FLAGS_AVX   -mavx)
set(RAVVEL_TIER_FLAGS_AVX2  -mavx2)

function(ravvel_add_tiered_sources target)
  foreach(src IN LISTS ARGN)
    get_filename_component(abs "${src}" ABSOLUTE)
    get_filename_component(stem "${src}" NAME_WE)
    file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${abs}")
    string(REPLACE "/" "_" relname "${rel}")
    foreach(tier IN LISTS RAVVEL_TIERS)
      string(TOLOWER "${tier}" ltier)
      set(wrapper "${PROJECT_BINARY_DIR}/tiers/${relname}.${ltier}.cpp")
      set(content "// Generated: ${rel} built for the ${tier} tier.\n#define RAVVEL_BUILD_TIER_${tier} 1\n#include \"${abs}\"\n")
      if(EXISTS "${wrapper}")
        file(READ "${wrapper}" old)
      else()
        set(old "")
      endif()
      if(NOT old STREQUAL content)
        file(WRITE "${wrapper}" "${content}")
      endif()
      target_sources(${target} PRIVATE "${wrapper}")
      # Source properties are per directory: attach them where the target lives.
      set_source_files_properties("${wrapper}" TARGET_DIRECTORY ${target} PROPERTIES
        COMPILE_OPTIONS "${RAVVEL_TIER_FLAGS_${tier}}"
        OBJECT_DEPENDS "${abs}")
    endforeach()
  endforeach()
endfunction()
