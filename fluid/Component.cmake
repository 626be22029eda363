# Bubbles, the surface grid and the velocity display's geometry, built into sg_fluid.
if(TARGET sg_fluid)
  target_sources(sg_fluid PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BubblePool.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SurfaceGrid.cpp)
endif()
