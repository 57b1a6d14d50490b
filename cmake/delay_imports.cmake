# System DLLs that only the crash reporter's delivery (TLS, HTTP, the DNS servers) and its
# common dialogs (saving, printing) call are imported through delay-load tables: each is
# loaded at the first call into it, not when the program starts. Under Wine their start-up
# alone (secur32 sets up its security packages) took most of the reporter's cost on
# start-up. Both run after the report is saved, at the user's request, never on the path
# that catches a crash. Used by the Windows build only.

# lumigate_delay_import(NAME FUNCTION...): the imported library NAME_delay, the toolchain's
# import library of NAME.dll rewritten by dlltool as a delay-load one (its loader,
# __delayLoadHelper2, comes from the toolchain's libdelayimp). FUNCTION... are the functions
# the program calls: the linker drops the code of an import member whose stub nobody calls (a
# call through __declspec(dllimport) reads only the member's table slot), and in a delay-load
# member that code is what the slot first points to, which loads the DLL; so each called
# function's stub is asked for by name, the tests' calls included. A function called but not
# listed would jump to 0: the test e2e_delay_imports reads the shipped program's tables for
# that.
function(lumigate_delay_import name)
    find_file(system_lib lib${name}.a PATHS /usr/i686-w64-mingw32/lib NO_DEFAULT_PATH NO_CACHE
        NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    set(dir ${CMAKE_BINARY_DIR}/delay_imports)
    file(MAKE_DIRECTORY ${dir})
    # The functions the import library defines, as a module-definition file (stdcall names
    # keep their "@n"; -k drops it from the names looked up in the DLL).
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${system_lib} OUTPUT_VARIABLE symbols
        COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[0-9a-f]+ T _[^\n]+" defined "${symbols}")
    set(def "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(entry ${defined})
        string(REGEX REPLACE "^[0-9a-f]+ T _" "" function "${entry}")
        string(APPEND def "${function}\n")
    endforeach()
    file(WRITE ${dir}/${name}.def "${def}")
    set(keep "")
    foreach(called ${ARGN})
        string(REGEX MATCH "\n${called}@[0-9]+\n" found "${def}")
        if(NOT found)
            message(FATAL_ERROR "${name}.dll has no function ${called}")
        endif()
        string(STRIP "${found}" found)
        string(APPEND keep "-u _${found}\n")
    endforeach()
    file(WRITE ${dir}/${name}_keep.rsp "${keep}")
    execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${dir}/${name}.def -y ${dir}/lib${name}_delay.a -D ${name}.dll
        COMMAND_ERROR_IS_FATAL ANY)
    add_library(${name}_delay STATIC IMPORTED GLOBAL)
    set_target_properties(${name}_delay PROPERTIES IMPORTED_LOCATION ${dir}/lib${name}_delay.a
        INTERFACE_LINK_LIBRARIES delayimp INTERFACE_LINK_OPTIONS "LINKER:@${dir}/${name}_keep.rsp")
endfunction()

lumigate_delay_import(secur32 AcquireCredentialsHandleW ApplyControlToken DecryptMessage DeleteSecurityContext
    EncryptMessage FreeContextBuffer FreeCredentialsHandle InitializeSecurityContextW QueryContextAttributesW)
# The certificate store functions are the delivery tests' (their peers' authority is trusted for the test).
lumigate_delay_import(crypt32 CertFreeCertificateChain CertFreeCertificateContext CertGetCertificateChain
    CertVerifyCertificateChainPolicy CertOpenStore CertCloseStore CertFindCertificateInStore
    CertDeleteCertificateFromStore CertCreateCertificateContext CertAddEncodedCertificateToStore)
lumigate_delay_import(winhttp WinHttpAddRequestHeaders WinHttpCloseHandle WinHttpConnect
    WinHttpGetIEProxyConfigForCurrentUser WinHttpGetProxyForUrl WinHttpOpen WinHttpOpenRequest WinHttpQueryAuthSchemes
    WinHttpQueryDataAvailable WinHttpQueryHeaders WinHttpReadData WinHttpReceiveResponse WinHttpSendRequest
    WinHttpSetCredentials WinHttpSetOption WinHttpSetTimeouts WinHttpWriteData)
lumigate_delay_import(iphlpapi GetNetworkParams)
lumigate_delay_import(comdlg32 GetSaveFileNameW PrintDlgW)
