# Warning and sanitizer flags for the project's own targets (not for third-party code).
set(ZQT_WARNING_FLAGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
if(ZQT_WERROR)
    list(APPEND ZQT_WARNING_FLAGS -Werror)
endif()

if(ZQT_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Apply the project's warnings to a target.
function(zqt_warnings target)
    target_compile_options(${target} PRIVATE ${ZQT_WARNING_FLAGS})
endfunction()
