# cmake -DVALIDATOR=<action-validator> -DWORKFLOWS=<dir> [-DEXPECT_INVALID=ON]
#       -P validate_workflows.cmake
# Validates every .yml and .yaml file of the folder, found when the test runs.
file(GLOB workflows ${WORKFLOWS}/*.yml ${WORKFLOWS}/*.yaml)
if(NOT workflows)
  message(FATAL_ERROR "no workflow in ${WORKFLOWS}")
endif()
set(failed)
foreach(workflow IN LISTS workflows)
  execute_process(COMMAND ${VALIDATOR} ${workflow}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(EXPECT_INVALID AND status EQUAL 0)
    list(APPEND failed "${workflow} was accepted, but must be refused")
  elseif(NOT EXPECT_INVALID AND NOT status EQUAL 0)
    list(APPEND failed "${workflow} is not valid:\n${output}")
  endif()
endforeach()
if(failed)
  list(JOIN failed "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH workflows count)
message(STATUS "${count} workflow(s) checked")
