# The texture font, part of sg_scene: GDI glyph rendering and device drawing.
if(TARGET sg_scene)
  target_sources(sg_scene PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FontTexture.cpp)
  target_link_libraries(sg_scene PUBLIC sg_platform_gdi)
  if(TARGET sg_d3d)
    target_link_libraries(sg_scene PUBLIC sg_d3d)
  endif()
endif()
