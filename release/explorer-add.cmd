@echo off
rem Adds "Set folder dates with Chronotree" to the right-click menu of folders and of the
rem background of an open folder, for the current user only, pointing at the chronotree.exe
rem beside this script. Run it once; explorer-remove.cmd takes the entries away again.
setlocal
set "program=%~dp0chronotree.exe"
if not exist "%program%" (
  echo chronotree.exe is not beside this script: "%program%"
  exit /b 1
)
set "classes=HKCU\Software\Classes"
set "title=Set folder dates with Chronotree"
rem Each step is checked with "if errorlevel": some cmd versions take "A >nul || B" wrong.
call :entry "%classes%\Directory\shell\Chronotree" "%%1"
if errorlevel 1 goto failed
call :entry "%classes%\Directory\Background\shell\Chronotree" "%%V"
if errorlevel 1 goto failed
echo Added "%title%" to the right-click menu of folders.
exit /b 0

rem :entry KEY ARGUMENT - the entry's title, icon and command line under KEY.
:entry
reg add "%~1" /ve /d "%title%" /f >nul
if errorlevel 1 exit /b 1
reg add "%~1" /v Icon /d "\"%program%\"" /f >nul
if errorlevel 1 exit /b 1
reg add "%~1\command" /ve /d "\"%program%\" -a \"%~2\"" /f >nul
if errorlevel 1 exit /b 1
exit /b 0

:failed
echo Could not add the entries to the registry.
exit /b 1
