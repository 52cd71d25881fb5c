# The fuzz targets, shared by their libFuzzer build (fuzz/CMakeLists.txt) and the replay of their
# corpora in the test suites (tests/CMakeLists.txt). Each name has its source fuzz/<Source>.cpp
# and its corpus fuzz/corpus/<name>; the bridge targets drive the simulated host through
# fuzz/FuzzHost.cpp and keep their data folder apart.
set(TOVR_FUZZ_TARGETS dispatch service_answer state_file host_answers service_error text media)
set(TOVR_FUZZ_BRIDGE_TARGETS dispatch service_answer state_file host_answers)
set(TOVR_FUZZ_SOURCE_dispatch DispatchFuzz)
set(TOVR_FUZZ_SOURCE_service_answer ServiceAnswerFuzz)
set(TOVR_FUZZ_SOURCE_state_file StateFileFuzz)
set(TOVR_FUZZ_SOURCE_host_answers HostAnswersFuzz)
set(TOVR_FUZZ_SOURCE_service_error ServiceErrorFuzz)
set(TOVR_FUZZ_SOURCE_text TextFuzz)
set(TOVR_FUZZ_SOURCE_media MediaFuzz)
# The dictionary each target runs with (fuzz/dict/<name>.dict); media and host_answers, whose
# inputs are bytes, run without one.
set(TOVR_FUZZ_DICT_dispatch json)
set(TOVR_FUZZ_DICT_service_answer json)
set(TOVR_FUZZ_DICT_state_file json)
set(TOVR_FUZZ_DICT_service_error json)
set(TOVR_FUZZ_DICT_text paths)
# How long the fuzz stage of the tests runs each target, in seconds.
set(TOVR_FUZZ_SECONDS 8 CACHE STRING "Seconds the fuzz stage runs each fuzz target")
