# Graphs of results: the plain graph computations (no Qt), and, with Qt, the
# chart control and the Graphs and Batch Run Graphs pages.
add_library(velk_graphs_model STATIC
  chart_scale.cpp
  graph_axis_rules.cpp
  graph_batch.cpp
  graph_common.cpp
  graph_entry.cpp
  graph_statistics.cpp)
target_include_directories(velk_graphs_model PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(velk_graphs_model PUBLIC velk_results_model)

if(TARGET Qt6::Widgets AND TARGET velk_shell_gui)
  add_library(velk_graphs_gui STATIC
    chart_accessible.cpp
    chart_layout.cpp
    chart_legend.cpp
    chart_plot.cpp
    chart_tip.cpp
    chart_view.cpp
    graph_page.cpp
    graphics_form_view.cpp
    add_graphics_form_view.cpp)
  set_target_properties(velk_graphs_gui PROPERTIES AUTOMOC ON)
  target_include_directories(velk_graphs_gui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(velk_graphs_gui PUBLIC velk_graphs_model velk_shell_gui Qt6::Widgets)
endif()
