# Tests of the controller link (discovery, control channel, control socket) and of the
# workload event scheduling. Included from tests/client/CMakeLists.txt.
tarrow_add_test(NAME net_client_socket_test
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_client_socket_test.cpp
                LIBS tarrow_test_support tarrow_form qds::fake)
tarrow_add_test(NAME net_discovery_test
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_discovery_test.cpp
                LIBS tarrow_test_support tarrow_form qds::fake)
tarrow_add_test(NAME net_control_channel_test
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_control_channel_test.cpp
                LIBS tarrow_test_support tarrow_form qds::fake)
tarrow_add_test(NAME net_event_scheduling_test
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_event_scheduling_test.cpp
                LIBS tarrow_test_support tarrow_form qds::fake)
# The control socket over the real Qt transport, on 127.0.0.1 with a free port.
if(TARGET tarrow_qt_core)
  tarrow_add_test(NAME net_client_socket_loopback_test
                  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_client_socket_loopback_test.cpp
                  LIBS tarrow_qt_core tarrow_form qds::fake
                  LABELS qt)
endif()
tarrow_add_test(NAME net_timings_extension_test
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_timings_extension_test.cpp
                LIBS tarrow_test_support tarrow_form qds::fake)
