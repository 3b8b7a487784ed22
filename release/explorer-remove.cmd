@echo off
rem Takes away the entries explorer-add.cmd made in the right-click menu of folders. To
rem uninstall Chronotree, run this, then delete its folder: it keeps nothing anywhere else.
setlocal
set "classes=HKCU\Software\Classes"
reg delete "%classes%\Directory\shell\Chronotree" /f >nul 2>&1
reg delete "%classes%\Directory\Background\shell\Chronotree" /f >nul 2>&1
rem Checked with "if errorlevel": some cmd versions take "A >nul && B" wrong.
reg query "%classes%\Directory\shell\Chronotree" >nul 2>&1
if not errorlevel 1 goto failed
reg query "%classes%\Directory\Background\shell\Chronotree" >nul 2>&1
if not errorlevel 1 goto failed
echo Removed "Set folder dates with Chronotree" from the right-click menu of folders.
exit /b 0

:failed
echo Could not remove the entries from the registry.
exit /b 1
