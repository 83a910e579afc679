@echo off
rem Installs Korvane Velotrix for Word (run as administrator from the folder holding
rem Korvanevlx.cnv, Korvanevlx64.dll, korvane-machine.reg and language\).
setlocal
set TARGET=%ProgramFiles%\Korvane\velotrix
mkdir "%TARGET%" 2>nul
copy /y "%~dp0Korvanevlx.cnv" "%TARGET%\" >nul || goto :failed
copy /y "%~dp0Korvanevlx64.dll" "%TARGET%\" >nul || goto :failed
if exist "%~dp0language" xcopy /e /i /y "%~dp0language" "%TARGET%\language" >nul
reg import "%~dp0korvane-machine.reg" || goto :failed
reg add "HKLM\SOFTWARE\Korvane\velotrix" /v path /t REG_SZ /d "%ProgramFiles%\Korvane" /f /reg:32 >nul || goto :failed
rem Word finds text converters below its own key as well as in the shared list.
for %%V in (12.0 14.0 15.0 16.0) do (
  reg add "HKLM\SOFTWARE\Microsoft\Office\%%V\Word\Text Converters\Export\Korvanevlx" /v Path /t REG_SZ /d "%TARGET%\Korvanevlx.cnv" /f >nul 2>nul
  reg add "HKLM\SOFTWARE\Microsoft\Office\%%V\Word\Text Converters\Export\Korvanevlx" /v Name /t REG_SZ /d "Microsoft Equation - RTF [Korvane]" /f >nul 2>nul
  reg add "HKLM\SOFTWARE\Microsoft\Office\%%V\Word\Text Converters\Export\Korvanevlx" /v Extensions /t REG_SZ /d "rtf" /f >nul 2>nul
)
reg add "HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Export\Korvanevlx" /v Path /t REG_SZ /d "%TARGET%\Korvanevlx.cnv" /f >nul
reg add "HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Export\Korvanevlx" /v Name /t REG_SZ /d "Microsoft Equation - RTF [Korvane]" /f >nul
reg add "HKLM\SOFTWARE\Microsoft\Shared Tools\Text Converters\Export\Korvanevlx" /v Extensions /t REG_SZ /d "rtf" /f >nul
echo Korvane Velotrix installed in %TARGET%.
exit /b 0
:failed
echo Installation failed.
exit /b 1
