# Builds the resource tree under ${CMAKE_BINARY_DIR}/rc from text sources: files kept as they are, the initial
# book generated from SQL, images rendered from SVG, and files taken from Debian's and npm's packages. rc/rc.qrc
# lists them all; the compiled resources are an object library whose objects every consumer links directly, so
# that the linker never drops them from the static core library.

set(RC_SRC ${CMAKE_SOURCE_DIR}/rc)
set(RC_OUT ${CMAKE_BINARY_DIR}/rc)
set(RC_OUTPUTS)

add_executable(quillbay-mkinitdb tools/mkinitdb.cpp ${CMAKE_SOURCE_DIR}/src/data/bookindexes.cpp
                                 ${CMAKE_SOURCE_DIR}/src/data/pendingchanges.cpp
                                 ${CMAKE_SOURCE_DIR}/src/data/schemaaddition.cpp
                                 ${CMAKE_SOURCE_DIR}/src/data/logcategories.cpp)
target_include_directories(quillbay-mkinitdb PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(quillbay-mkinitdb PRIVATE Qt6::Core Qt6::Sql)

add_executable(quillbay-mkimages tools/mkimages.cpp)
target_link_libraries(quillbay-mkimages PRIVATE Qt6::Core Qt6::Gui Qt6::Svg)

# Files that go into the resources unchanged.
file(GLOB_RECURSE RC_PLAIN CONFIGURE_DEPENDS RELATIVE ${RC_SRC} ${RC_SRC}/style/* ${RC_SRC}/chart/* ${RC_SRC}/report/*)
foreach(f IN LISTS RC_PLAIN)
    add_custom_command(OUTPUT ${RC_OUT}/${f}
        COMMAND ${CMAKE_COMMAND} -E copy ${RC_SRC}/${f} ${RC_OUT}/${f}
        DEPENDS ${RC_SRC}/${f} VERBATIM)
    list(APPEND RC_OUTPUTS ${RC_OUT}/${f})
endforeach()

add_custom_command(OUTPUT ${RC_OUT}/data/init.db
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RC_OUT}/data
    COMMAND quillbay-mkinitdb ${RC_SRC}/data/init.sql ${RC_OUT}/data/init.db
    DEPENDS quillbay-mkinitdb ${RC_SRC}/data/init.sql VERBATIM)
list(APPEND RC_OUTPUTS ${RC_OUT}/data/init.db)

file(GLOB RC_SVGS CONFIGURE_DEPENDS ${RC_SRC}/images/*.svg)
foreach(svg IN LISTS RC_SVGS)
    get_filename_component(name ${svg} NAME_WE)
    add_custom_command(OUTPUT ${RC_OUT}/images/${name}.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${RC_OUT}/images
        COMMAND quillbay-mkimages ${svg} ${RC_OUT}/images/${name}.png
        DEPENDS quillbay-mkimages ${svg} VERBATIM)
    list(APPEND RC_OUTPUTS ${RC_OUT}/images/${name}.png)
endforeach()

# The images drawn on the skin colour are white, or carry white; a light skin colour shows them in these dark
# variants instead.
set(RC_DARK_VARIANTS IcoHome IcoSync IcoDatabase IcoSetting IcoWebsite IcoWeibo IcoFeedback BtnToolBoxSetting
    BtnToolBoxMin BtnToolBoxMax BtnToolBoxClose BgToolBoxSeparator BgToolBoxButton BgToolbarButton BgTitleBarCloud
    BgSizeGrip IcoMonth IcoYear)
foreach(name IN LISTS RC_DARK_VARIANTS)
    add_custom_command(OUTPUT ${RC_OUT}/images/${name}Dark.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${RC_OUT}/images
        COMMAND quillbay-mkimages ${RC_SRC}/images/${name}.svg ${RC_OUT}/images/${name}Dark.png "#000000"
        DEPENDS quillbay-mkimages ${RC_SRC}/images/${name}.svg VERBATIM)
    list(APPEND RC_OUTPUTS ${RC_OUT}/images/${name}Dark.png)
endforeach()

set(QT_ZH_QM /usr/share/qt6/translations/qtbase_zh_CN.qm)
add_custom_command(OUTPUT ${RC_OUT}/qm/qt_zh_CN.qm
    COMMAND ${CMAKE_COMMAND} -E copy ${QT_ZH_QM} ${RC_OUT}/qm/qt_zh_CN.qm
    DEPENDS ${QT_ZH_QM} VERBATIM)
list(APPEND RC_OUTPUTS ${RC_OUT}/qm/qt_zh_CN.qm)

set(JQUERY_JS ${CMAKE_SOURCE_DIR}/node_modules/jquery/tmp/jquery.js)
if(EXISTS ${CMAKE_SOURCE_DIR}/package.json)
    add_custom_command(OUTPUT ${RC_OUT}/chart/jquery.js
        COMMAND ${CMAKE_COMMAND} -E copy ${JQUERY_JS} ${RC_OUT}/chart/jquery.js
        DEPENDS ${JQUERY_JS} VERBATIM)
    list(APPEND RC_OUTPUTS ${RC_OUT}/chart/jquery.js)
endif()

add_custom_command(OUTPUT ${RC_OUT}/rc.qrc
    COMMAND ${CMAKE_COMMAND} -E copy ${RC_SRC}/rc.qrc ${RC_OUT}/rc.qrc
    DEPENDS ${RC_SRC}/rc.qrc VERBATIM)

add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/qrc_rc.cpp
    COMMAND Qt6::rcc --name rc ${RC_OUT}/rc.qrc -o ${CMAKE_BINARY_DIR}/qrc_rc.cpp
    DEPENDS ${RC_OUT}/rc.qrc ${RC_OUTPUTS} VERBATIM)

add_library(quillbay_rc OBJECT ${CMAKE_BINARY_DIR}/qrc_rc.cpp)
target_link_libraries(quillbay_rc PRIVATE Qt6::Core)
add_library(quillbay_resources INTERFACE)
target_sources(quillbay_resources INTERFACE $<TARGET_OBJECTS:quillbay_rc>)
add_dependencies(quillbay_resources quillbay_rc)
