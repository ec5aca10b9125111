<?php
/*
 * Plugin Name: Test site memory log
 * Description: Logs the peak memory of each request for a delivery file or a piece of an uploaded one, for the streaming checks.
 */
register_shutdown_function(
    function () {
        $log = getenv( 'E2E_MEMORY_LOG' );
        $piece = is_string( $_POST['action'] ?? null ) && preg_match( '/_upload_piece$/', $_POST['action'] );
        if ( $log && ( $piece || preg_match( '/_file=/', $_SERVER['QUERY_STRING'] ?? '' ) ) ) {
            file_put_contents( $log, memory_get_peak_usage() . "\n", FILE_APPEND | LOCK_EX );
        }
    }
);
