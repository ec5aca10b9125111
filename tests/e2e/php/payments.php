<?php
/*
 * Plugin Name: Test site payments
 * Description: Test only. Captures every e-mail into the file E2E_MAIL_LOG names (one JSON line
 * each) instead of sending it, and points the plugins' PayPal confirmation at the local stub the
 * option "e2e_paypal_stub" names (plugin id => stub address). Nothing leaves the machine.
 */
add_filter(
    'pre_wp_mail',
    function ( $sent, $mail ) {
        $log = getenv( 'E2E_MAIL_LOG' );
        if ( $log ) {
            file_put_contents( $log, wp_json_encode( $mail, JSON_UNESCAPED_SLASHES ) . "\n", FILE_APPEND | LOCK_EX );
        }
        return true;
    },
    10,
    2
);

add_action(
    'plugins_loaded',
    function () {
        foreach ( (array) get_option( 'e2e_paypal_stub', array() ) as $id => $stub ) {
            // The stub learns which of PayPal's addresses (live or sandbox) the plugin chose.
            add_filter(
                $id . '_paypal_verify_url',
                function ( $url ) use ( $stub ) {
                    return $stub . '?was=' . rawurlencode( $url );
                }
            );
        }
    }
);

// A request with the header X-E2E-Slow-Report (a plugin's id) has its download reported a
// second after the last byte went out, as a large file's stream would take: requests sent at
// once then all overlap between the plugin's check of the download limit and that report.
add_action(
    'plugins_loaded',
    function () {
        $id = isset( $_SERVER['HTTP_X_E2E_SLOW_REPORT'] ) ? (string) $_SERVER['HTTP_X_E2E_SLOW_REPORT'] : '';
        if ( 1 === preg_match( '/^[A-Za-z0-9_]{1,64}$/', $id ) ) {
            add_action(
                $id . '_delivery_sent',
                function () {
                    sleep( 1 );
                },
                1
            );
        }
    }
);
