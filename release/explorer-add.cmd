@echo off
rem Adds "Set folder dates with Chronotree..." to the right-click menu of folders, of drives
rem and of the background of an open folder, for the current user only, pointing at the
rem chronotree.exe beside this script. The entry opens the window on that folder: the set
rem button then has the focus, and the dry run and the undo are in the window's menu. Run it
rem once; explorer-remove.cmd takes the entries away again.
setlocal
set "program=%~dp0chronotree.exe"
set "classes=HKCU\Software\Classes"
set "title=Set folder dates with Chronotree..."
set "status=0"
if not exist "%program%" (
  echo chronotree.exe is not beside this script: "%program%"
  set "status=1"
  goto done
)
rem Each step is checked with "if errorlevel": some cmd versions take "A >nul || B" wrong.
call :entry "%classes%\Directory\shell\Chronotree" "%%1"
if errorlevel 1 goto failed
call :entry "%classes%\Drive\shell\Chronotree" "%%1"
if errorlevel 1 goto failed
call :entry "%classes%\Directory\Background\shell\Chronotree" "%%V"
if errorlevel 1 goto failed
echo Added "%title%" to the right-click menu of folders and drives, for %USERNAME% only.
echo It opens Chronotree's window on the folder; explorer-remove.cmd takes it away.
goto done

rem :entry KEY ARGUMENT - the entry's title, icon and command line under KEY.
:entry
reg add "%~1" /ve /d "%title%" /f >nul
if errorlevel 1 exit /b 1
reg add "%~1" /v Icon /d "\"%program%\"" /f >nul
if errorlevel 1 exit /b 1
reg add "%~1\command" /ve /d "\"%program%\" \"%~2\"" /f >nul
if errorlevel 1 exit /b 1
exit /b 0

:failed
echo Could not add the entries to the registry.
set "status=1"

rem Started by a double click, the console would close before what it says could be read.
:done
echo %cmdcmdline% | find /i "%~nx0" >nul
if not errorlevel 1 pause
exit /b %status%
