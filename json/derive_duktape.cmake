# Copies Duktape's packaged source into OUTPUT_DIR with a configuration derived from the
# packaged duk_config.h: duktape.h includes its configuration from its own folder, so the three
# files must sit together.
#
#   cmake -DSOURCE_DIR=<packaged source> -DOUTPUT_DIR=<build folder> -P derive_duktape.cmake

set(marker "/* __OVERRIDE_DEFINES__ */")
set(overrides [=[
/* Execution-time budget: the executor counts instructions and, every so many, asks
 * ChengyiExecTimeoutCheck whether the call that is running has used up its time. Past the
 * deadline it throws a RangeError that no script can catch for good. */
#define DUK_USE_INTERRUPT_COUNTER
#if defined(__cplusplus)
extern "C"
#endif
duk_bool_t ChengyiExecTimeoutCheck(void *udata);
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) ChengyiExecTimeoutCheck((udata))
]=])

file(READ "${SOURCE_DIR}/duk_config.h" config)
string(FIND "${config}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${SOURCE_DIR}/duk_config.h has no place for overriding definitions")
endif()
string(REPLACE "${marker}" "${marker}\n${overrides}" config "${config}")

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(WRITE "${OUTPUT_DIR}/duk_config.h.new" "${config}")
file(COPY_FILE "${OUTPUT_DIR}/duk_config.h.new" "${OUTPUT_DIR}/duk_config.h" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT_DIR}/duk_config.h.new")
foreach(name duktape.h duktape.c)
  file(COPY_FILE "${SOURCE_DIR}/${name}" "${OUTPUT_DIR}/${name}" ONLY_IF_DIFFERENT)
endforeach()
