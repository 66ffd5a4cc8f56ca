# The host as a user starts it: a bad --db text ends with a clear message, and the screenshot
# tour opens the plug-in's windows on a demo database and saves their pictures.
set(work "${WORK_DIR}/host-smoke")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{XDG_DATA_HOME} "${work}/data")

execute_process(COMMAND "${HOST}" --db "Provider=Oracle;Data Source=x" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "tunnelhost: 连接字符串中的数据库提供程序“Oracle”未知")
  message(FATAL_ERROR "bad --db: exit ${rc}, said: ${err}")
endif()
execute_process(COMMAND "${HOST}" --db "Provider=PostgreSQL Password=hunter2;Database=d"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR err MATCHES "hunter2" OR NOT err MATCHES "无法识别")
  message(FATAL_ERROR "password in the connection text: exit ${rc}, said: ${err}")
endif()
# A folder name with no GBK form would reach the plug-in as another path.
execute_process(COMMAND "${HOST}" --db "Provider=SQLite;Data Source=${work}/straße/t.db"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "“ß”没有 GBK 编码")
  message(FATAL_ERROR "non-GBK path: exit ${rc}, said: ${err}")
endif()

# Without --db the configuration file's connection string is the one used; a line commented out
# is not.
file(WRITE "${work}/tunnelhost.conf"
     "#connection = Provider=SQLite;Data Source=x\nconnection = Provider=Oracle;Data Source=x\n")
set(ENV{TUNNELHOST_CONF} "${work}/tunnelhost.conf")
execute_process(COMMAND "${HOST}" RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
unset(ENV{TUNNELHOST_CONF})
if(NOT rc EQUAL 1 OR NOT err MATCHES "“Oracle”未知")
  message(FATAL_ERROR "the configuration file's connection: exit ${rc}, said: ${err}")
endif()

set(db "Provider=SQLite;Data Source=${work}/demo.db")
execute_process(COMMAND "${TUNNELDB}" demo "${db}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tunneldb demo failed")
endif()
execute_process(COMMAND "${HOST}" --db "${db}" --screenshots "${work}/shots"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "screenshot tour: exit ${rc}\n${out}\n${err}")
endif()
foreach(picture 00-host 01-fmDeviceMainage 01-1-fmAddDevice 01-2-fmConnectConfig 01-3-fmCmsConfig 03-fmQueryStatus 04-fmArea 05-fmDeviceAlert)
  if(NOT EXISTS "${work}/shots/${picture}.png")
    message(FATAL_ERROR "no picture ${picture}: ${out}")
  endif()
endforeach()
message(STATUS "${out}")
