@"%~dp0veskbackup.exe" %*
@exit /b %ERRORLEVEL%
