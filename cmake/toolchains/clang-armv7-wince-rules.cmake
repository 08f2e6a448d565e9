# Link rules of clang-armv7-wince.cmake, read after CMake's own Windows rules.
# A DLL is linked by lld-link with no default library and DllMain as its
# entry, so nothing but the objects and the import libraries named on the
# command line can satisfy a reference.
set(CMAKE_LINK_DEF_FILE_FLAG "/def:")
foreach(_lang C CXX)
  set(CMAKE_${_lang}_CREATE_SHARED_LIBRARY
    "<CMAKE_LINKER> /nologo /WX /dll /machine:arm /nodefaultlib /entry:DllMain /debug:symtab <LINK_FLAGS> /out:<TARGET> /implib:<TARGET_IMPLIB> <OBJECTS> <LINK_LIBRARIES>")
  set(CMAKE_${_lang}_STANDARD_LIBRARIES_INIT "")
  set(CMAKE_${_lang}_LINK_LIBRARY_USING_WHOLE_ARCHIVE "/wholearchive:<LIBRARY>")
  set(CMAKE_${_lang}_LINK_LIBRARY_USING_WHOLE_ARCHIVE_SUPPORTED TRUE)
endforeach()
