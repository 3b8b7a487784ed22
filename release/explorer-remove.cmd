@echo off
rem Takes away the entries explorer-add.cmd made in the right-click menu of folders and
rem drives. To uninstall Chronotree, run this, then delete its folder: it keeps nothing
rem anywhere else.
setlocal
set "classes=HKCU\Software\Classes"
set "status=0"
for %%k in (Directory\shell Drive\shell Directory\Background\shell) do (
  reg delete "%classes%\%%k\Chronotree" /f >nul 2>&1
)
rem Checked with "if errorlevel": some cmd versions take "A >nul && B" wrong.
for %%k in (Directory\shell Drive\shell Directory\Background\shell) do (
  reg query "%classes%\%%k\Chronotree" >nul 2>&1
  if not errorlevel 1 set "status=1"
)
if "%status%"=="0" (
  echo Removed "Set folder dates with Chronotree..." from the right-click menu of folders and drives.
) else (
  echo Could not remove the entries from the registry.
)

rem Started by a double click, the console would close before what it says could be read.
echo %cmdcmdline% | find /i "%~nx0" >nul
if not errorlevel 1 pause
exit /b %status%
